#include "window_test_support.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace ui_test {

ScratchFolder::ScratchFolder(bool withFilesFolder) : previous_(QDir::currentPath())
{
    if (!dir_.isValid()) qFatal("cannot create a temporary folder");
    if (withFilesFolder) CreateFilesFolder();
    if (!QDir::setCurrent(dir_.path())) qFatal("cannot enter the temporary folder");
}

ScratchFolder::~ScratchFolder() { QDir::setCurrent(previous_); }

QString ScratchFolder::ListPath() const { return dir_.filePath(QStringLiteral("files/game_list.txt")); }

bool ScratchFolder::HasList() const { return QFile::exists(ListPath()); }

QByteArray ScratchFolder::List() const
{
    QFile file(ListPath());
    if (!file.open(QIODevice::ReadOnly)) {
        QTest::qFail(qPrintable(QStringLiteral("cannot read ") + ListPath()), __FILE__, __LINE__);
        return {};
    }
    return file.readAll();
}

void ScratchFolder::RemoveFilesFolder()
{
    QDir files(dir_.filePath(QStringLiteral("files")));
    if (!files.removeRecursively()) qFatal("cannot remove the folder files");
}

void ScratchFolder::CreateFilesFolder()
{
    if (!QDir(dir_.path()).mkpath(QStringLiteral("files"))) qFatal("cannot create the folder files");
}

QList<QByteArray> CrlfLines(const QByteArray& bytes)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype end = bytes.indexOf("\r\n", start);
        const QByteArray line = bytes.mid(start, end < 0 ? -1 : end - start);
        if (end < 0 || line.contains('\r') || line.contains('\n')) {
            lines.append(QByteArrayLiteral("<bad line end>"));
            break;
        }
        lines.append(line);
        start = end + 2;
    }
    return lines;
}

QByteArray GoldenDefaultList()
{
    QFile file(QStringLiteral(POPGEN_TEST_DATA "/default_game_list.txt"));
    if (!file.open(QIODevice::ReadOnly)) qFatal("cannot read the golden file");
    return file.readAll();
}

}  // namespace ui_test
