// Loading, saving and showing a large account book: 100,000 items in 500
// categories. Loading is compared with reading and splitting the same files
// alone, in the same run.
#include "app/main_window.h"
#include "book/category_tree.h"
#include "book/item_record.h"
#include "util/text_utils.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <benchmark/benchmark.h>

namespace {

constexpr int kCategories = 500;
constexpr int kItems = 100000;

struct TBook
{
    QTemporaryDir dir;
    QString Path() const { return dir.path() + '/'; }
    TBook()
    {
        TStringList cats;
        TStringList items;
        for (int c = 0; c < kCategories; ++c)
            cats << "Category " + QByteArray::number(c);
        for (int i = 0; i < kItems; ++i) {
            std::array<QByteArray, 10> f{"Program title " + QByteArray::number(i),
                                         "Affiliate program",
                                         "http://www.example.com/",
                                         "http://www.example.com/login",
                                         "user" + QByteArray::number(i),
                                         "secret",
                                         "http://www.example.com/?aff=123",
                                         "http://ex.am/ple",
                                         "$50",
                                         "15th"};
            items << BuildStoredRecord(cats[i % kCategories], f, "First line\r\nSecond line");
        }
        SaveStringList(Path() + "categories.dat", cats);
        SaveStringList(Path() + "items.dat", items);
    }
};

TBook &Book()
{
    static TBook book;
    return book;
}

double ReadAndSplitMs()
{
    QElapsedTimer t;
    t.start();
    const TStringList cats = LoadStringList(Book().Path() + "categories.dat");
    const TStringList items = LoadStringList(Book().Path() + "items.dat");
    TStringList fields;
    qsizetype total = cats.size();
    for (const QByteArray &r : items) {
        SplitByDelimiter('\xA5', r, fields);
        total += fields.size();
    }
    benchmark::DoNotOptimize(total);
    return t.nsecsElapsed() / 1e6;
}

void BM_LoadBookWithTree(benchmark::State &state)
{
    double load = 0;
    double plain = 0;
    for (auto _ : state) {
        TfrmMain w(QString(), nullptr); // empty folder: nothing loaded yet
        w.SetAppFolderForBench(Book().Path());
        QElapsedTimer t;
        t.start();
        w.LoadCategories();
        w.LoadItems();
        load += t.nsecsElapsed() / 1e6;
        plain += ReadAndSplitMs();
        if (w.tvwMain->model()->rowCount() != kCategories)
            state.SkipWithError("tree not filled");
    }
    state.counters["load_ms"] = load / state.iterations();
    state.counters["read_split_ms"] = plain / state.iterations();
    state.counters["ratio"] = load / plain;
}
BENCHMARK(BM_LoadBookWithTree)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_MainWindowShownWithBook(benchmark::State &state)
{
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        TfrmMain w(Book().Path(), nullptr);
        w.show();
        if (!QTest::qWaitForWindowExposed(&w))
            state.SkipWithError("window not shown");
        state.counters["shown_ms"] = t.nsecsElapsed() / 1e6;
    }
}
BENCHMARK(BM_MainWindowShownWithBook)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SaveItems(benchmark::State &state)
{
    TfrmMain w(Book().Path(), nullptr);
    for (auto _ : state)
        w.SaveItems();
}
BENCHMARK(BM_SaveItems)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_ShowOneItem(benchmark::State &state)
{
    TfrmMain w(Book().Path(), nullptr);
    // The last record is the worst case for the walk over the item list.
    const QAbstractItemModel *tree = w.tvwMain->model();
    const QModelIndex last = tree->index(kCategories - 1, 0);
    const QModelIndex node = tree->index(tree->rowCount(last) - 1, 0, last);
    for (auto _ : state) {
        w.ShowItem(TCategoryTree::NodeName(last), TCategoryTree::NodeName(node));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ShowOneItem)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Book();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
