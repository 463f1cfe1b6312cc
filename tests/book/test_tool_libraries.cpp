// The command-line tools run where no display or window toolkit is: they
// must not load Qt's GUI or widget libraries. Reads the libraries each built
// tool names in its dynamic section (what the loader will open, the lines
// `ldd` starts from), so a library that drags in a widget shows up here.
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTest>

#include <utility>

namespace {

// The DT_NEEDED entries of an ELF file, or an empty list when it could not
// be read.
QStringList NeededLibraries(const QString &file)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(READELF_PATH), {QStringLiteral("-d"), QStringLiteral("-W"), file});
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return {};
    static const QRegularExpression needed(QStringLiteral(R"(\(NEEDED\)\s+Shared library: \[([^\]]+)\])"));
    QStringList out;
    const QString text = QString::fromLocal8Bit(p.readAllStandardOutput());
    for (auto it = needed.globalMatch(text); it.hasNext();)
        out << it.next().captured(1);
    return out;
}

const QList<std::pair<const char *, QString>> kTools = {
    {"tarnwick-book", QStringLiteral(TARNWICK_BOOK_PATH)},
    {"tarnwick-release", QStringLiteral(TARNWICK_RELEASE_PATH)},
};

} // namespace

class TestToolLibraries : public QObject
{
    Q_OBJECT
private slots:
    // A reader that found nothing would pass every check below.
    void readsTheToolsLibraries_data()
    {
        QTest::addColumn<QString>("tool");
        for (const auto &[name, path] : kTools)
            QTest::newRow(name) << path;
    }
    void readsTheToolsLibraries()
    {
        QFETCH(QString, tool);
        const QStringList libraries = NeededLibraries(tool);
        QVERIFY2(libraries.contains(QStringLiteral("libQt6Core.so.6")), qPrintable(libraries.join(' ')));
    }

    void linksNoWindowLibrary_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QString>("library");
        for (const auto &[name, path] : kTools) {
            for (const char *library : {"libQt6Widgets", "libQt6Gui", "libQt6OpenGL", "libQt6WebEngineCore"})
                QTest::addRow("%s %s", name, library) << path << QString::fromLatin1(library);
        }
    }
    void linksNoWindowLibrary()
    {
        QFETCH(QString, tool);
        QFETCH(QString, library);
        const QStringList libraries = NeededLibraries(tool);
        QVERIFY(!libraries.isEmpty());
        for (const QString &needed : libraries)
            QVERIFY2(!needed.startsWith(library + QLatin1Char('.')), qPrintable(needed));
    }
};

QTEST_GUILESS_MAIN(TestToolLibraries)
#include "test_tool_libraries.moc"
