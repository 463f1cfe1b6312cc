// Filtering 100,000 items per keystroke: the whole book is tested against one
// search text, the way the tree filters as the user types. Three ways of
// holding the book are measured: folded text kept per item, the raw lines of
// items.dat, and split records.
#include "book/item_record.h"
#include "book/search_rule.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

constexpr int kItems = 100000;
constexpr int kCategories = 500;

struct TBook
{
    std::vector<QByteArray> lines;
    std::vector<TItemRecord> records;
    std::vector<QByteArray> folded;
    std::vector<QByteArray> categories;

    TBook()
    {
        for (int c = 0; c < kCategories; ++c)
            categories.push_back("Cat\xE9gorie " + QByteArray::number(c));
        for (int i = 0; i < kItems; ++i) {
            const QByteArray n = QByteArray::number(i);
            std::array<QByteArray, 10> f{"Program title " + n,
                                         "Affiliate program " + n,
                                         "http://www.example.com/" + n,
                                         "http://www.example.com/login",
                                         "user" + n + "@example.com",
                                         "secret" + n,
                                         "http://www.example.com/?aff=" + n,
                                         "http://ex.am/ple" + n,
                                         "$50",
                                         "15th"};
            lines.push_back(BuildStoredRecord(categories[i % kCategories], f,
                                              "Caf\xE9 first line\r\nSecond line with more words " + n));
            records.push_back(ReadItemRecord(lines.back()));
            folded.push_back(FoldedSearchText(records.back()));
        }
    }
};

const TBook &Book()
{
    static const TBook book;
    return book;
}

// A rare long text, a one-letter text found at once, a text found nowhere,
// an accented text found everywhere, and common letters found nowhere.
const char *const kNeedles[] = {"program title 99999", "e", "zzzz", "caf\xE9", "tte"};

// Each iteration is one keystroke: a new rule and one pass over every item
// and category.
template <typename F>
void Filter(benchmark::State &state, F matches)
{
    const TBook &b = Book();
    const QByteArray needle(kNeedles[state.range(0)]);
    state.SetLabel(kNeedles[state.range(0)]);
    qsizetype kept = 0;
    for (auto _ : state) {
        const TSearchRule rule(needle);
        kept = 0;
        for (const QByteArray &c : b.categories)
            kept += rule.MatchesCategory(c);
        for (int i = 0; i < kItems; ++i)
            kept += matches(rule, i);
        benchmark::DoNotOptimize(kept);
    }
    state.counters["kept"] = double(kept);
}

void BM_FilterFolded(benchmark::State &state)
{
    Filter(state, [](const TSearchRule &r, int i) { return r.MatchesFolded(Book().folded[i]); });
}
BENCHMARK(BM_FilterFolded)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

void BM_FilterRawLines(benchmark::State &state)
{
    Filter(state, [](const TSearchRule &r, int i) { return r.MatchesRecord(Book().lines[i]); });
}
BENCHMARK(BM_FilterRawLines)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

void BM_FilterRecords(benchmark::State &state)
{
    Filter(state, [](const TSearchRule &r, int i) { return r.MatchesItem(Book().records[i]); });
}
BENCHMARK(BM_FilterRecords)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

// The floor: one memchr over every item's folded text for a byte none holds.
void BM_BareScanReference(benchmark::State &state)
{
    for (auto _ : state) {
        qsizetype hits = 0;
        for (const QByteArray &f : Book().folded)
            hits += std::memchr(f.constData(), '\xFF', size_t(f.size())) != nullptr;
        benchmark::DoNotOptimize(hits);
    }
}
BENCHMARK(BM_BareScanReference)->Unit(benchmark::kMillisecond);

// What keeping folded text costs once, at load.
void BM_FoldWholeBook(benchmark::State &state)
{
    for (auto _ : state) {
        qsizetype bytes = 0;
        for (const TItemRecord &r : Book().records)
            bytes += FoldedSearchText(r).size();
        state.counters["bytes"] = double(bytes);
    }
}
BENCHMARK(BM_FoldWholeBook)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    Book();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
