// The child of the kill test: saves the other version of both book files,
// without end, as the window does (backup first, then the atomic rewrite of the joined lines).
// It links Qt Core alone, so that it starts fast enough for hundreds of kills.
#include "book/book_backups.h"
#include "save_kills_book.h"
#include "util/string_list.h"

#include <QFile>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QByteArray categories[2] = {CategoriesBytes(0), CategoriesBytes(1)};
    const QByteArray items[2] = {ItemsBytes(0), ItemsBytes(1)};
    TBookBackups backups(folder);
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) {
        QFile current(folder + "items.dat");
        const int next = current.open(QIODevice::ReadOnly) && current.readAll() == items[0] ? 1 : 0;
        current.close();
        backups.BeforeReplace();
        SaveBytesAtomic(folder + "categories.dat", categories[next]);
        backups.BeforeReplace();
        SaveBytesAtomic(folder + "items.dat", items[next]);
    }
}
