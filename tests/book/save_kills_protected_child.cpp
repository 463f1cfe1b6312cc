// The child of the kill test for a protected book: saves the other version of
// the book into book.tarnwick without end, as the book folder does (the
// backup of the encrypted file first, then the atomic rewrite, encrypted as
// it goes out). The key is the test's, from a fixed salt at the least cost.
#include "book/book_backups.h"
#include "book/protected_file.h"
#include "save_kills_book.h"
#include "util/atomic_writer.h"

#include <QBuffer>
#include <QFile>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString path = folder + "book.tarnwick";
    const TBookKeyPtr key = TBookKey::Derive(SaveKillsPassword(), SaveKillsKdf(), SaveKillsSalt());
    const QByteArray payloads[2] = {ProtectedPayload(0), ProtectedPayload(1)};
    TBookBackups backups = TBookBackups::Protected(folder, {});
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) {
        int next = 0;
        QFile current(path);
        if (current.open(QIODevice::ReadOnly)) {
            try {
                const TProtectedContents read = ReadProtectedFile(current, path, key);
                next = QByteArray(read.payload->Data(), read.payload->Size()) == payloads[0] ? 1 : 0;
            } catch (const EFileError &) {
            }
        }
        current.close();
        backups.BeforeReplace();
        TAtomicWriter out(path);
        TProtectedWriter writer(key, [&out](const char *d, qsizetype n) { out.Write(d, n); });
        writer.Write(payloads[next]);
        writer.Finish();
        out.Commit();
    }
}
