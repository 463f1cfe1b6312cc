// One search keystroke over a book of 1,000,000 items (500 categories, the
// book bench_book writes: 208.6 MB of items.dat) through the tree's filter,
// TBookFilter, with every category's rows mapped as an open tree has them:
// from the whole book to what a text keeps, and typing a text key by key.
// Wall and processor time, medians of several rounds; no display needed.
//
//   bench_filter_million [items] [rounds]
#include "bench/support/bench_book_files.h"
#include "bench/support/bench_support.h"
#include "book/account_book.h"
#include "book/book_filter.h"
#include "book/search_rule.h"
#include "util/text_utils.h"

#include <QCoreApplication>
#include <QSaveFile>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

namespace {


struct TTimes
{
    std::vector<double> wall, cpu;
};

template <typename F>
void Time(TTimes &t, F work)
{
    const double cpu = Bench::CpuMs();
    const std::int64_t start = Bench::NowNs();
    work();
    t.wall.push_back(double(Bench::NowNs() - start) / 1e6);
    t.cpu.push_back(Bench::CpuMs() - cpu);
}

// The text, then a mapping for every category shown, as an open tree asks.
void Apply(TBookFilter &filter, const QString &text)
{
    filter.SetText(text);
    for (int c = 0; c < filter.rowCount(); ++c)
        filter.rowCount(filter.index(c, 0));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int items = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
    QTemporaryDir dir;
    if (!dir.isValid() || !Bench::WriteBook(dir.path(), items, 500)) {
        std::fprintf(stderr, "cannot write the book\n");
        return 1;
    }
    TAccountBook book;
    book.LoadCategories(dir.filePath(QStringLiteral("categories.dat")));
    book.LoadItems(dir.filePath(QStringLiteral("items.dat")));
    std::printf("load average %s; %lld items in %d categories, %d rounds\n", Bench::LoadAverage().c_str(),
                static_cast<long long>(book.RecordCount()), book.CategoryCount(), rounds);

    TBookFilter filter;
    filter.SetBook(&book);
    TTimes first;
    Time(first, [&] { Apply(filter, QStringLiteral("x")); }); // folds the book once
    std::printf("first search of the run (folds the book): %.0f ms (processor %.0f ms)\n", first.wall[0], first.cpu[0]);
    Apply(filter, QString());

    const char *const needles[] = {"program title 999999", "e", "zzzz", "first line", "tte", "category 499"};
    std::vector<double> medians;
    for (const char *needle : needles) {
        TTimes to, back;
        for (int r = 0; r < rounds; ++r) {
            Time(to, [&] { Apply(filter, QString::fromLatin1(needle)); });
            Time(back, [&] { Apply(filter, QString()); });
        }
        std::printf("\"%s\" (%d categories kept): %.1f ms (processor %.1f ms); back to the whole book %.1f ms "
                    "(processor %.1f ms)\n",
                    needle, [&] {
                        filter.SetText(QString::fromLatin1(needle));
                        const int kept = filter.rowCount();
                        Apply(filter, QString());
                        return kept;
                    }(),
                    Bench::Median(to.wall), Bench::Median(to.cpu), Bench::Median(back.wall), Bench::Median(back.cpu));
        medians.push_back(Bench::Median(to.wall));
    }

    // The floor: the search rule alone over every item's folded text, held
    // in one buffer in book order as the filter holds it, without the
    // filter's walk of the tree and its mappings.
    {
        QByteArray folded;
        std::vector<std::pair<qsizetype, qsizetype>> spans;
        spans.reserve(size_t(book.RecordCount()));
        for (qsizetype r = 0; r < book.RecordCount(); ++r) {
            const QByteArray f = FoldedSearchText(book.ReadItem(r));
            spans.emplace_back(folded.size(), f.size());
            folded += f;
        }
        for (const char *needle : needles) {
            TTimes scan;
            qsizetype kept = 0;
            for (int r = 0; r < rounds; ++r) {
                Time(scan, [&] {
                    const TSearchRule rule(QString::fromLatin1(needle));
                    kept = 0;
                    for (const auto &[at, size] : spans)
                        kept += rule.MatchesFolded(folded.constData() + at, size);
                });
            }
            std::printf("the rule alone, \"%s\" (%lld items): %.1f ms (processor %.1f ms)\n", needle,
                        static_cast<long long>(kept), Bench::Median(scan.wall), Bench::Median(scan.cpu));
        }
    }

    // Typing the first text key by key, from an empty field.
    const QString typed = QString::fromLatin1(needles[0]);
    TTimes keys;
    for (int r = 0; r < 3; ++r) {
        Apply(filter, QString());
        for (qsizetype n = 1; n <= typed.size(); ++n)
            Time(keys, [&] { Apply(filter, typed.left(n)); });
    }
    double slowest = 0;
    for (const double k : keys.wall)
        slowest = std::max(slowest, k);
    std::printf("typing \"%s\": %.1f ms a key (processor %.1f ms), slowest %.1f ms\n", needles[0],
                Bench::Median(keys.wall), Bench::Median(keys.cpu), slowest);
    std::printf("median keystroke from the whole book over the texts: %.1f ms (target < 50 ms); peak memory %.0f MB\n",
                Bench::Median(medians), Bench::PeakMemoryKb() / 1024.0);
    std::printf("load average %s\n", Bench::LoadAverage().c_str());
    return 0;
}
