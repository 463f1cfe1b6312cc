// The protected book against the plain one, below the window: the key
// derivation at the parameters calibrated on this machine, opening a book of
// 100,000 and 1,000,000 items (plain: both files read and indexed; protected:
// book.tarnwick decrypted into secure memory and indexed in place, beyond the
// key derivation) with the first category's rows read as the tree would show
// them, the peak memory of that against the file, and the save of one edited
// item in the 1,000,000-item book: the time the caller is held (the saver
// thread takes the rest) and until the file is committed. Each measurement
// runs in a fresh process, so a peak memory belongs to one task alone.
//
// Usage: bench_protected [items...]   (default 100000 1000000)
#include "bench/support/bench_book_files.h"
#include "bench/support/bench_support.h"
#include "book/account_book.h"
#include "book/book_folder.h"
#include "book/protected_book.h"
#include "util/text_utils.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

const QByteArray kPassword = "bench master password";


// The peak so far starts anew (Linux: writing 5 to clear_refs).
void ResetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

// What the tree shows first: the first category's rows with their titles.
void Show(const TAccountBook &book)
{
    const QModelIndex first = book.CategoryIndex(0);
    for (int r = 0, n = book.rowCount(first); r < n && r < 50; ++r)
        (void)book.index(r, 0, first).data().toString();
}

// One measurement; prints "key value" lines for the parent.
int Child(const QString &mode, const QString &folderPath)
{
    TBookFolder folder(folderPath);
    const double cpu0 = Bench::CpuMs();
    const std::int64_t t0 = Bench::NowNs();
    if (mode == QLatin1String("open-plain") || mode == QLatin1String("save-plain")) {
        if (!folder.Load().isEmpty())
            return 1;
    } else {
        // The key first, timed apart, then the open with it.
        QFile file(folder.ProtectedPath());
        if (!file.open(QIODevice::ReadOnly))
            return 1;
        const TProtectedHeader header = ReadProtectedHeader(file.read(ProtectedHeaderSize()), "b");
        const std::int64_t k0 = Bench::NowNs();
        const TBookKeyPtr key = TBookKey::Derive(kPassword, header.kdf, header.salt);
        std::printf("kdf_ms %.1f\nkdf_peak_kb %ld\n", (Bench::NowNs() - k0) / 1e6, Bench::PeakMemoryKb());
        ResetPeak();
        const std::int64_t o0 = Bench::NowNs();
        const double c0 = Bench::CpuMs();
        if (!folder.AdoptProtected(key).isEmpty())
            return 1;
        Show(folder.Book());
        std::printf("open_ms %.1f\nopen_cpu_ms %.1f\npeak_kb %ld\n", (Bench::NowNs() - o0) / 1e6, Bench::CpuMs() - c0,
                    Bench::PeakMemoryKb());
    }
    if (mode == QLatin1String("open-plain")) {
        Show(folder.Book());
        std::printf("open_ms %.1f\nopen_cpu_ms %.1f\npeak_kb %ld\n", (Bench::NowNs() - t0) / 1e6, Bench::CpuMs() - cpu0,
                    Bench::PeakMemoryKb());
    }
    if (mode.startsWith(QLatin1String("save"))) {
        TAccountBook &book = folder.Book();
        const QModelIndex item = book.IndexOfRecord(book.RecordCount() / 2);
        TItemRecord read = book.ReadItem(book.RecordAt(item));
        std::array<QByteArray, 10> fields;
        std::copy(read.fields.begin() + 1, read.fields.end(), fields.begin());
        fields[2] += "x";
        const std::int64_t s0 = Bench::NowNs();
        book.StoreItem(item, fields, read.description);
        const TBookSave save = folder.SaveItems();
        const std::int64_t s1 = Bench::NowNs();
        folder.WaitForSaves();
        const std::int64_t s2 = Bench::NowNs();
        std::printf("save_posted %d\nsave_held_ms %.1f\nsave_committed_ms %.1f\n", int(save.posted), (s1 - s0) / 1e6,
                    (s2 - s0) / 1e6);
    }
    return 0;
}

QHash<QString, double> RunChild(const QString &mode, const QString &folder)
{
    QProcess p;
    p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), mode, folder});
    p.waitForFinished(-1);
    QHash<QString, double> values;
    for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() == 2)
            values.insert(QString::fromLatin1(parts[0]), parts[1].toDouble());
    }
    if (p.exitCode() != 0)
        std::fprintf(stderr, "child %s failed\n", qPrintable(mode));
    return values;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("--child"))
        return Child(args[2], args[3]);

    QList<int> sizes;
    for (int i = 1; i < args.size(); ++i)
        sizes << args[i].toInt();
    if (sizes.isEmpty())
        sizes = {100000, 1000000};

    std::printf("bench_protected: load average %s\n", Bench::LoadAverage().c_str());
    const std::int64_t c0 = Bench::NowNs();
    const TKdfParameters kdf = CalibrateKdf();
    std::printf("calibration: %llu passes over %llu MiB (calibrating took %.0f ms)\n",
                static_cast<unsigned long long>(kdf.ops), static_cast<unsigned long long>(kdf.memory >> 20),
                (Bench::NowNs() - c0) / 1e6);

    for (int items : sizes) {
        QTemporaryDir plainDir(QDir::tempPath() + QStringLiteral("/bench-protected-XXXXXX"));
        QTemporaryDir protectedDir(QDir::tempPath() + QStringLiteral("/bench-protected-XXXXXX"));
        const QString plain = plainDir.path() + u'/';
        const QString prot = protectedDir.path() + u'/';
        if (!Bench::WriteBook(plain, items, 500) || !Bench::WriteBook(prot, items, 500))
            return 1;
        {
            TBookFolder folder(prot);
            folder.Load();
            const TProtection done = ProtectBook(folder, kPassword, kdf);
            if (!done.error.isEmpty()) {
                std::fprintf(stderr, "%s\n", qPrintable(done.error));
                return 1;
            }
            RemoveFiles(done.removable);
        }
        const double itemsMb = QFileInfo(plain + QStringLiteral("items.dat")).size() / 1e6;
        const double fileMb = QFileInfo(prot + QStringLiteral("book.tarnwick")).size() / 1e6;
        const auto p = RunChild(QStringLiteral("open-plain"), plain);
        const auto q = RunChild(QStringLiteral("open-protected"), prot);
        std::printf("\n%d items: items.dat %.1f MB, book.tarnwick %.1f MB (load %s)\n", items, itemsMb, fileMb,
                    Bench::LoadAverage().c_str());
        std::printf("  key derivation: %.0f ms, peak %.0f MB                          target ~500 ms\n",
                    q["kdf_ms"], q["kdf_peak_kb"] / 1024);
        std::printf("  open + first rows, plain:     %7.1f ms (cpu %7.1f), peak %6.1f MB = %.2f x items.dat\n",
                    p["open_ms"], p["open_cpu_ms"], p["peak_kb"] / 1024, p["peak_kb"] * 1.024e-3 / itemsMb);
        std::printf("  open + first rows, protected: %7.1f ms (cpu %7.1f), peak %6.1f MB = %.2f x book.tarnwick"
                    "   target <= 2 x\n",
                    q["open_ms"], q["open_cpu_ms"], q["peak_kb"] / 1024, q["peak_kb"] * 1.024e-3 / fileMb);
        std::printf("  protected / plain beyond the key derivation: %.2f x (cpu %.2f x)   target <= 1.3 x\n",
                    q["open_ms"] / p["open_ms"], q["open_cpu_ms"] / p["open_cpu_ms"]);
        if (items >= 1000000) {
            const auto sp = RunChild(QStringLiteral("save-plain"), plain);
            const auto sq = RunChild(QStringLiteral("save-protected"), prot);
            std::printf("  save of one item, plain:     held %.1f ms, committed %.1f ms\n", sp["save_held_ms"],
                        sp["save_committed_ms"]);
            std::printf("  save of one item, protected: held %.1f ms, committed %.1f ms   target held <= 50 ms\n",
                        sq["save_held_ms"], sq["save_committed_ms"]);
        }
    }
    return 0;
}
