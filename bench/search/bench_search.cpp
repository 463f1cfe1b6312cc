// Filtering 100,000 items per keystroke: the whole book is tested against one
// search text, the way the tree filters as the user types. Three ways of
// holding the book are measured: folded text kept per item, the raw lines of
// items.dat, and split records. Then the same book as the tree gets it: loaded
// into TAccountBook and filtered by TBookFilter, alone and under the shown
// tree (TCategoryTree), which opens every category that stays.
#include "book/account_book.h"
#include "book/book_filter.h"
#include "book/category_tree.h"
#include "book/item_record.h"
#include "book/search_rule.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <cstring>
#include <memory>
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

// The generated book as the program holds it, read from its two files.
struct TModelBook
{
    QTemporaryDir dir;
    TAccountBook book;

    TModelBook()
    {
        const TBook &b = Book();
        QByteArray categories;
        for (const QByteArray &c : b.categories)
            categories += c + "\r\n";
        QByteArray items;
        for (const QByteArray &line : b.lines)
            items += line + "\r\n";
        Write("categories.dat", categories);
        Write("items.dat", items);
        book.LoadCategories(dir.filePath("categories.dat"));
        book.LoadItems(dir.filePath("items.dat"));
    }
    void Write(const char *name, const QByteArray &bytes)
    {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write the book");
    }
};

TModelBook &ModelBook()
{
    static TModelBook book;
    return book;
}

// A filter as the tree uses it: every category has been opened once, so the
// proxy keeps a mapping for each and filters all 100,000 items per keystroke.
struct TFilterFixture
{
    TBookFilter filter;
    TFilterFixture()
    {
        filter.SetBook(&ModelBook().book);
        filter.SetText(QStringLiteral("x")); // folds the book once
        Reset(QString());
    }
    // The text, and a mapping for every category shown, as an open tree has.
    void Reset(const QString &text)
    {
        filter.SetText(text);
        for (int c = 0; c < filter.rowCount(); ++c)
            filter.rowCount(filter.index(c, 0));
    }
};

TFilterFixture &Filter()
{
    static TFilterFixture f;
    return f;
}

QString Needle(int i)
{
    return QString::fromLatin1(kNeedles[i]);
}

// One keystroke that takes the whole book to what the text keeps.
void BM_ProxyFromWholeBook(benchmark::State &state)
{
    TBookFilter &filter = Filter().filter;
    state.SetLabel(kNeedles[state.range(0)]);
    for (auto _ : state) {
        state.PauseTiming();
        Filter().Reset(QString());
        state.ResumeTiming();
        filter.SetText(Needle(int(state.range(0))));
    }
    state.counters["categories"] = filter.rowCount();
}
// Untimed set-up costs as much as the keystroke: a fixed count of rounds.
BENCHMARK(BM_ProxyFromWholeBook)->DenseRange(0, 4)->Unit(benchmark::kMillisecond)->Iterations(20);

// Clearing the field: everything the text hid comes back.
void BM_ProxyBackToWholeBook(benchmark::State &state)
{
    TBookFilter &filter = Filter().filter;
    state.SetLabel(kNeedles[state.range(0)]);
    for (auto _ : state) {
        state.PauseTiming();
        Filter().Reset(Needle(int(state.range(0))));
        state.ResumeTiming();
        filter.SetText(QString());
        // The tree asks for the items of every category again.
        for (int c = 0; c < filter.rowCount(); ++c)
            filter.rowCount(filter.index(c, 0));
    }
}
BENCHMARK(BM_ProxyBackToWholeBook)->DenseRange(0, 4)->Unit(benchmark::kMillisecond)->Iterations(20);

// Typing "program title 99999" a key at a time from an empty field; the
// slowest keystroke of the nineteen is reported beside their mean.
template <typename Apply>
void TypeByKeys(benchmark::State &state, Apply apply)
{
    const QString typed = Needle(0);
    double slowest = 0;
    for (auto _ : state) {
        state.PauseTiming();
        apply(QString());
        state.ResumeTiming();
        for (qsizetype n = 1; n <= typed.size(); ++n) {
            const auto start = std::chrono::steady_clock::now();
            apply(typed.left(n));
            const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
            slowest = std::max(slowest, took.count());
        }
    }
    state.counters["keys"] = double(typed.size());
    state.counters["slowest_ms"] = slowest;
}

void BM_ProxyTyping(benchmark::State &state)
{
    TypeByKeys(state, [](const QString &text) { Filter().Reset(text); });
}
BENCHMARK(BM_ProxyTyping)->Unit(benchmark::kMillisecond)->Iterations(3);

// The shown tree: the filter, opening every category that stays, and the
// layout and painting the next turn of the event loop does.
struct TTreeFixture
{
    TCategoryTree tree;
    TTreeFixture()
    {
        tree.SetBook(&ModelBook().book);
        tree.resize(300, 800);
        tree.show();
        tree.SetSearchText(QStringLiteral("x"));
        tree.SetSearchText(QString());
        QApplication::processEvents();
    }
    void Apply(const QString &text)
    {
        tree.SetSearchText(text);
        tree.repaint();
        QApplication::processEvents();
    }
};

// A widget goes before the application object does.
std::unique_ptr<TTreeFixture> g_tree;

TTreeFixture &Tree()
{
    if (!g_tree)
        g_tree = std::make_unique<TTreeFixture>();
    return *g_tree;
}

void BM_TreeFromWholeBook(benchmark::State &state)
{
    state.SetLabel(kNeedles[state.range(0)]);
    for (auto _ : state) {
        state.PauseTiming();
        Tree().Apply(QString());
        state.ResumeTiming();
        Tree().Apply(Needle(int(state.range(0))));
    }
}
BENCHMARK(BM_TreeFromWholeBook)->DenseRange(0, 4)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_TreeBackToWholeBook(benchmark::State &state)
{
    state.SetLabel(kNeedles[state.range(0)]);
    for (auto _ : state) {
        state.PauseTiming();
        Tree().Apply(Needle(int(state.range(0))));
        state.ResumeTiming();
        Tree().Apply(QString());
    }
}
BENCHMARK(BM_TreeBackToWholeBook)->DenseRange(0, 4)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_TreeTyping(benchmark::State &state)
{
    TypeByKeys(state, [](const QString &text) { Tree().Apply(text); });
}
BENCHMARK(BM_TreeTyping)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char **argv)
{
    // Without a display (outside `make bench`) the tree is measured offscreen.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Book();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_tree.reset();
    return 0;
}
