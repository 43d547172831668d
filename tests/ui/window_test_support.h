#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>

namespace ui_test {

// A fresh temporary folder that is the process's current directory while
// the object lives; the previous current directory is restored at the end.
class ScratchFolder {
public:
    explicit ScratchFolder(bool withFilesFolder = true);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    QString Path() const { return dir_.path(); }
    QString ListPath() const;  // files/game_list.txt under it
    bool HasList() const;
    QByteArray List() const;  // the list's bytes; fails the test when unreadable

    // Takes the folder "files" away and brings it back.
    void RemoveFilesFolder();
    void CreateFilesFolder();

private:
    QTemporaryDir dir_;
    QString previous_;
};

// The lines of a CRLF text file (without their line ends); any line break
// that is not CRLF ends the list with a line "<bad line end>".
QList<QByteArray> CrlfLines(const QByteArray& bytes);

// The golden file of a first run with the default fields.
QByteArray GoldenDefaultList();

}  // namespace ui_test
