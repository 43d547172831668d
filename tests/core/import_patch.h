#pragma once

#include <windows.h>

#include <string_view>

namespace testing_support {

// Points this program's import of a system call at a stand-in while it
// lasts. The generation core is linked into the test programs, so its calls
// go through the program's own import table.
class ImportPatch {
public:
    ImportPatch(const char* function, const void* replacement)
    {
        auto* const base = reinterpret_cast<BYTE*>(::GetModuleHandleW(nullptr));
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
            base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
        const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        for (auto* library = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
             library->Name != 0 && !slot_; ++library) {
            const auto* name = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + library->OriginalFirstThunk);
            auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->FirstThunk);
            for (; name->u1.AddressOfData != 0; ++name, ++slot) {
                if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) continue;
                const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData);
                if (std::string_view(reinterpret_cast<const char*>(byName->Name)) == function) {
                    slot_ = &slot->u1.Function;
                    break;
                }
            }
        }
        if (slot_) Set(reinterpret_cast<ULONG_PTR>(replacement));
    }
    ~ImportPatch()
    {
        if (slot_) Set(original_);
    }
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    bool Applied() const { return slot_ != nullptr; }

private:
    void Set(ULONG_PTR target)
    {
        DWORD protection = 0;
        ::VirtualProtect(slot_, sizeof *slot_, PAGE_READWRITE, &protection);
        if (!original_) original_ = *slot_;
        *slot_ = target;
        ::VirtualProtect(slot_, sizeof *slot_, protection, &protection);
    }

    ULONG_PTR* slot_ = nullptr;
    ULONG_PTR original_ = 0;
};

}  // namespace testing_support
