// tarnwick-book: the account book of an application folder from the command
// line.
//
//   tarnwick-book [--folder DIR] export --csv FILE
//   tarnwick-book [--folder DIR] import --csv FILE [--dry-run]
//   tarnwick-book [--folder DIR] search TEXT
//   tarnwick-book [--folder DIR] check
//   tarnwick-book [--folder DIR] [--password-stdin] protect | unprotect | passwd
//   tarnwick-book generate [--length N] [--classes LIST] [--avoid-look-alikes]

#include "tools/tool_output.h"
#include "book/account_book.h"
#include "book/book_check.h"
#include "book/book_folder.h"
#include "book/protected_book.h"
#include "book/password_generator.h"
#include "book/search_rule.h"
#include "util/codepage.h"
#include "util/errors.h"
#include "util/string_list.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include <termios.h>
#include <unistd.h>

namespace {

enum TExitCode {
    ExitOk = 0,
    ExitFailed = 1,
    ExitUsage = 2,
    ExitBookOpen = 3,
    ExitFound = 4,
    ExitRowsSkipped = 5,
    ExitWrongPassword = 6,
};

struct TToolContext
{
    QString folder; // ends with a separator
    QString csv;
    bool dryRun = false;
    bool passwordStdin = false;
    bool replaceUnstorable = false;
};

// A wrong master password ends the command with its own status.
class EWrongPassword : public EAppError
{
public:
    using EAppError::EAppError;
};

// A password longer than this is no password anyone types.
constexpr qsizetype kMaxPassword = 4096;

// The first line of standard input, without its line end: one line per
// password asked, in the order asked.
QByteArray PasswordLine()
{
    QByteArray line;
    for (int c; (c = std::fgetc(stdin)) != EOF && c != '\n';) {
        if (line.size() >= kMaxPassword) {
            WipeBytes(line);
            throw EAppError(QStringLiteral("The password on standard input is longer than %1 bytes.").arg(kMaxPassword));
        }
        line.append(char(c));
    }
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

// The terminal's modes while its echo is off, for a signal that ends the
// tool at the prompt to put back.
int g_quietTerminal = -1;
termios g_terminalBefore{};
constexpr int kPromptSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

void EndAtPrompt(int signal)
{
    tcsetattr(g_quietTerminal, TCSAFLUSH, &g_terminalBefore);
    struct sigaction fallback{};
    fallback.sa_handler = SIG_DFL;
    sigaction(signal, &fallback, nullptr);
    raise(signal);
}

// While echo is off, a signal that ends the tool first gives the terminal
// its modes back: a shell left without echo shows nothing typed.
class TQuietTerminal
{
public:
    TQuietTerminal(int fd, const termios &before)
    {
        g_terminalBefore = before;
        g_quietTerminal = fd;
        struct sigaction restore{};
        restore.sa_handler = EndAtPrompt;
        sigemptyset(&restore.sa_mask);
        for (size_t i = 0; i < std::size(kPromptSignals); ++i) {
            sigaction(kPromptSignals[i], nullptr, &m_before[i]);
            // One ignored (nohup) stays ignored: it never ends the tool.
            if (m_before[i].sa_handler != SIG_IGN)
                sigaction(kPromptSignals[i], &restore, nullptr);
        }
    }
    ~TQuietTerminal()
    {
        tcsetattr(g_quietTerminal, TCSAFLUSH, &g_terminalBefore);
        for (size_t i = 0; i < std::size(kPromptSignals); ++i)
            sigaction(kPromptSignals[i], &m_before[i], nullptr);
        g_quietTerminal = -1;
    }
    TQuietTerminal(const TQuietTerminal &) = delete;
    TQuietTerminal &operator=(const TQuietTerminal &) = delete;

private:
    struct sigaction m_before[std::size(kPromptSignals)]{};
};

// Asks on the terminal with echo off; the terminal's own line editing works.
QByteArray PasswordFromTerminal(const QString &prompt)
{
    std::FILE *tty = std::fopen("/dev/tty", "r+");
    if (!tty)
        throw EAppError(QStringLiteral("No terminal to ask the master password on; pass it with --password-stdin."));
    Print(tty, prompt);
    std::fflush(tty);
    termios before{};
    std::optional<TQuietTerminal> quiet;
    if (tcgetattr(fileno(tty), &before) == 0) {
        quiet.emplace(fileno(tty), before);
        termios silent = before;
        silent.c_lflag &= ~tcflag_t(ECHO);
        silent.c_lflag |= ECHONL;
        tcsetattr(fileno(tty), TCSAFLUSH, &silent);
    }
    char buffer[kMaxPassword + 2];
    const bool read = std::fgets(buffer, sizeof buffer, tty) != nullptr;
    quiet.reset();
    std::fclose(tty);
    QByteArray line = read ? QByteArray(buffer) : QByteArray();
    std::memset(buffer, 0, sizeof buffer);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return line;
}

// The password as the program derives its key from it: UTF-8, whatever the
// terminal's encoding.
QByteArray AskPassword(const TToolContext &context, const QString &prompt)
{
    QByteArray raw = context.passwordStdin ? PasswordLine() : PasswordFromTerminal(prompt);
    QByteArray utf8 = QString::fromLocal8Bit(raw).toUtf8();
    WipeBytes(raw);
    return utf8;
}

// A new master password: twice on the terminal, once on standard input.
QByteArray AskNewPassword(const TToolContext &context)
{
    QByteArray password = AskPassword(context, QStringLiteral("New master password: "));
    if (password.isEmpty())
        throw EAppError(QStringLiteral("The master password cannot be empty. Nothing was written."));
    if (!context.passwordStdin) {
        QByteArray again = AskPassword(context, QStringLiteral("The same once more: "));
        const bool same = again == password;
        WipeBytes(again);
        if (!same) {
            WipeBytes(password);
            throw EAppError(QStringLiteral("The two passwords differ. Nothing was written."));
        }
    }
    return password;
}

void Fail(const QString &text)
{
    FailAs("tarnwick-book", text);
}

// Text of the book as a terminal shows it: control characters, which could
// move the cursor or recolour the terminal, become "?".
QString Shown(const QByteArray &bytes, TBookText spelt = TBookText::Ansi)
{
    QString text = DecodeBookText(bytes, spelt);
    for (QChar &c : text)
        if (c.category() == QChar::Other_Control)
            c = u'?';
    return text;
}

// A book that cannot be read ends the command. A protected one asks its
// master password first.
void LoadBook(TBookFolder &folder, const TToolContext &context)
{
    if (folder.IsProtected()) {
        QByteArray password = AskPassword(context, QStringLiteral("Master password: "));
        const TBookFolder::TUnlock unlock = folder.Unlock(password);
        WipeBytes(password);
        if (unlock.fault == TProtectedFault::WrongPassword && !unlock.Ok())
            throw EWrongPassword(QStringLiteral("%1 Nothing was written.").arg(unlock.error));
        if (!unlock.Ok())
            throw EFileError(unlock.error);
        return;
    }
    if (const QString error = folder.Load(); !error.isEmpty())
        throw EFileError(error);
}

bool RefuseWhileOpen(TBookFolder &folder, const TToolContext &context)
{
    if (folder.TakeLock())
        return false;
    Fail(QStringLiteral("The account book in \"%1\" is open in the program; close it first. Nothing was written.")
             .arg(Native(context.folder)));
    return true;
}

int Protect(const TToolContext &context)
{
    TBookFolder folder(context.folder);
    if (RefuseWhileOpen(folder, context))
        return ExitBookOpen;
    if (folder.IsProtected()) {
        Fail(QStringLiteral("The account book is protected already. Nothing was written."));
        return ExitFailed;
    }
    LoadBook(folder, context);
    QByteArray password = AskNewPassword(context);
    // About half a second and at least 64 MiB on this machine.
    const TProtection done = ProtectBook(folder, password, KdfForProtecting());
    WipeBytes(password);
    if (!done.error.isEmpty()) {
        Fail(done.error);
        return ExitFailed;
    }
    // The plain files and their backups hold every password in clear text:
    // asking for protection from a terminal is asking for them to go.
    if (const QString error = RemoveFiles(done.removable); !error.isEmpty()) {
        Fail(QStringLiteral("The book is protected in \"%1\", but: %2 Remove the plain files by hand.")
                 .arg(Native(folder.ProtectedPath()), error));
        return ExitFailed;
    }
    Print(stdout, QStringLiteral("Protected: %1 item(s) in \"%2\"; %3 plain file(s) removed.\n")
                      .arg(folder.Book().RecordCount())
                      .arg(Native(folder.ProtectedPath()))
                      .arg(done.removable.size()));
    return ExitOk;
}

// Unprotect and passwd rewrite a protected book: ExitOk when it is one the
// tool may write now.
int RefuseUnlessProtected(TBookFolder &folder, const TToolContext &context)
{
    if (RefuseWhileOpen(folder, context))
        return ExitBookOpen;
    if (!folder.IsProtected()) {
        Fail(QStringLiteral("The account book is not protected. Nothing was written."));
        return ExitFailed;
    }
    return ExitOk;
}

int Unprotect(const TToolContext &context)
{
    TBookFolder folder(context.folder);
    if (const int refused = RefuseUnlessProtected(folder, context); refused != ExitOk)
        return refused;
    LoadBook(folder, context);
    const QList<TUnstorable> unstorable = FindUnstorable(folder.Book());
    for (const TUnstorable &u : unstorable)
        Print(stdout, Shown(DescribeUnstorable(u).toUtf8(), TBookText::Utf8) + QLatin1Char('\n'));
    if (!unstorable.isEmpty() && !context.replaceUnstorable) {
        Fail(QStringLiteral("%1 text(s) above cannot be kept in the plain files. Nothing was written; with "
                            "--replace-unstorable each such character becomes \"?\".")
                 .arg(unstorable.size()));
        return ExitFailed;
    }
    const TProtection done = UnprotectBook(folder, context.replaceUnstorable);
    if (!done.error.isEmpty()) {
        Fail(done.error);
        return ExitFailed;
    }
    Print(stdout, QStringLiteral("Protection removed: %1 item(s) in categories.dat and items.dat; %2 encrypted "
                                 "backup(s) stay in backups/.\n")
                      .arg(folder.Book().RecordCount())
                      .arg(done.removable.size()));
    return ExitOk;
}

int ChangePassword(const TToolContext &context)
{
    TBookFolder folder(context.folder);
    if (const int refused = RefuseUnlessProtected(folder, context); refused != ExitOk)
        return refused;
    QByteArray old = AskPassword(context, QStringLiteral("Master password: "));
    const TBookFolder::TUnlock unlock = folder.Unlock(old);
    if (!unlock.Ok()) {
        WipeBytes(old);
        if (unlock.fault == TProtectedFault::WrongPassword)
            throw EWrongPassword(QStringLiteral("%1 Nothing was written.").arg(unlock.error));
        throw EFileError(unlock.error);
    }
    QByteArray password = AskNewPassword(context);
    const TProtection done = ChangeMasterPassword(folder, old, password, KdfForProtecting());
    WipeBytes(old);
    WipeBytes(password);
    if (!done.error.isEmpty()) {
        Fail(done.error);
        return ExitFailed;
    }
    Print(stdout, QStringLiteral("The master password is changed. %1 backup(s) kept under an earlier password "
                                 "stay in backups/; that password still opens them.\n")
                      .arg(done.removable.size()));
    return ExitOk;
}

void PrintNotes(const TImportPlan &plan)
{
    for (const TImportNote &note : plan.notes)
        Print(stdout, DescribeNote(note) + QLatin1Char('\n'));
}

int Export(const TToolContext &context)
{
    TBookFolder folder(context.folder);
    if (const QString refusal = folder.ExportRefusal(context.csv); !refusal.isEmpty()) {
        Fail(refusal);
        return ExitFailed;
    }
    LoadBook(folder, context);
    const TBookExport exported = folder.ExportCsv(context.csv);
    if (!exported.error.isEmpty()) {
        Fail(exported.error);
        return ExitFailed;
    }
    Print(stderr, QStringLiteral("%1 item(s) written to \"%2\" (owner-only). The file holds every password in "
                                 "clear text.\n")
                      .arg(exported.items)
                      .arg(Native(context.csv)));
    return ExitOk;
}

int Import(const TToolContext &context)
{
    const TCsvSource csv = OpenCsvFile(context.csv);
    TBookFolder folder(context.folder);
    // A dry run writes nothing and may look while the program runs.
    if (!context.dryRun && RefuseWhileOpen(folder, context))
        return ExitBookOpen;
    LoadBook(folder, context);
    // The items go into the book as the file is read, never held beside it.
    TImportPlan plan;
    TBookImport imported;
    if (context.dryRun)
        plan = folder.DryRunImport(csv);
    else
        imported = folder.ImportCsv(csv, plan);
    if (!plan.fault.isEmpty()) {
        Fail(QStringLiteral("\"%1\" cannot be imported. %2 Nothing was written.").arg(Native(context.csv), plan.fault));
        return ExitFailed;
    }
    // Both end the import before its plan is whole: nothing of it to tell.
    switch (imported.outcome) {
    case TBookImport::TOutcome::NoBackup:
        Fail(QStringLiteral("No backup of the book could be kept, so nothing was written. %1").arg(imported.error));
        return ExitFailed;
    case TBookImport::TOutcome::Refused:
        Fail(imported.error);
        return ExitFailed;
    case TBookImport::TOutcome::NotWritten:
    case TBookImport::TOutcome::Imported:
        break;
    }
    Print(stdout, QStringLiteral("\"%1\": %2.\n").arg(Native(context.csv), plan.columns.format));
    PrintNotes(plan);
    QStringList newCategories;
    for (const QByteArray &name : plan.newCategories)
        newCategories << QStringLiteral("\"%1\"").arg(Shown(name, plan.text));
    const QString summary = QStringLiteral("%1 item(s), %2 new categor%3%4")
                                .arg(plan.itemCount)
                                .arg(newCategories.size())
                                .arg(newCategories.size() == 1 ? QStringLiteral("y") : QStringLiteral("ies"))
                                .arg(newCategories.isEmpty() ? QString() : QStringLiteral(": ") + newCategories.join(", "));
    // Rows left out make the run's status, dry or not, so a script notices;
    // rows the book already holds are no loss, so importing a file again
    // succeeds.
    const QString skipped = DescribeSkippedRows(plan, !context.dryRun);
    const int status = plan.LostRows() == 0 ? ExitOk : ExitRowsSkipped;
    const auto tellSkipped = [&] {
        if (!skipped.isEmpty())
            Print(stdout, skipped + QLatin1Char('\n'));
    };
    if (context.dryRun) {
        Print(stdout, QStringLiteral("Would import %1. Nothing was written (--dry-run).\n").arg(summary));
        tellSkipped();
        return status;
    }
    if (plan.itemCount == 0) {
        Print(stdout, QStringLiteral("Nothing to import; nothing was written.\n"));
        tellSkipped();
        return status;
    }
    if (imported.outcome == TBookImport::TOutcome::NotWritten) {
        Fail(imported.save.written.Message());
        return ExitFailed;
    }
    Print(stdout, QStringLiteral("Imported %1.\n").arg(summary));
    tellSkipped();
    return status;
}

int Search(const TToolContext &context, const QString &text)
{
    TBookFolder folder(context.folder);
    LoadBook(folder, context);
    const TAccountBook &book = folder.Book();
    const TSearchRule rule(text, book.Text());
    for (qsizetype r = 0; r < book.RecordCount(); ++r) {
        const TItemRecord item = book.ReadItem(r);
        if (rule.MatchesItem(item))
            Print(stdout, QStringLiteral("%1 / %2\n").arg(Shown(item.Category(), book.Text()), Shown(item.Title(), book.Text())));
    }
    return ExitOk;
}

int Check(const TToolContext &context)
{
    TBookFolder folder(context.folder);
    TStringList categories;
    TStringList items;
    TBookText text = TBookText::Ansi;
    if (folder.IsProtected()) {
        // The records as decrypted, line by line as the files would hold them.
        LoadBook(folder, context);
        const TAccountBook &book = folder.Book();
        text = book.Text();
        for (int c = 0; c < book.CategoryCount(); ++c)
            categories << book.CategoryName(c);
        for (qsizetype r = 0; r < book.RecordCount(); ++r)
            items << book.Record(r);
    } else {
        categories = LoadStringList(folder.CategoriesPath());
        items = LoadStringList(folder.ItemsPath());
    }
    const QList<TBookFinding> found = CheckBook(categories, items, text);
    for (const TBookFinding &f : found) {
        QString text = f.text;
        for (QChar &c : text)
            if (c.category() == QChar::Other_Control)
                c = u'?';
        Print(stdout, QStringLiteral("%1:%2: %3\n")
                          .arg(folder.IsProtected() ? TBookFolder::kProtectedFile
                               : f.inCategories   ? TBookFolder::kCategoriesFile
                                                  : TBookFolder::kItemsFile)
                          .arg(f.line)
                          .arg(text));
    }
    Print(stdout, QStringLiteral("%1 categor%2, %3 record(s) checked; %4 finding(s).\n")
                      .arg(categories.size())
                      .arg(categories.size() == 1 ? QStringLiteral("y") : QStringLiteral("ies"))
                      .arg(items.size())
                      .arg(found.size()));
    return found.isEmpty() ? ExitOk : ExitFound;
}

// One password for a plain book, which the program's password field takes as
// it is.
int Generate(const TPasswordOptions &options)
{
    const QString password = GeneratePassword(options);
    if (password.isEmpty()) {
        Fail(QStringLiteral("No password could be drawn."));
        return ExitFailed;
    }
    Print(stdout, password + QLatin1Char('\n'));
    return ExitOk;
}

QString HelpText()
{
    return QStringLiteral(
        "Usage: tarnwick-book [--folder DIR] COMMAND ...\n"
        "\n"
        "Works on the account book (categories.dat and items.dat) of an application\n"
        "folder: by default the folder this tool lies in, which is the program's own\n"
        "folder when the tool is installed beside it.\n"
        "A protected book (book.tarnwick) is opened with its master password, asked\n"
        "on the terminal without echo, or read from the first line of standard\n"
        "input with --password-stdin. Every command works on either kind.\n"
        "\n"
        "Commands:\n"
        "  export --csv FILE\n"
        "      Writes every item of the book to FILE as CSV (UTF-8, a header row,\n"
        "      one row per item in book order). FILE holds every password in clear\n"
        "      text; it is made owner-only (0600), replacing any earlier FILE.\n"
        "  import --csv FILE [--dry-run]\n"
        "      Adds the items of FILE: this tool's or the program's export, or the\n"
        "      CSV list of logins of a browser or password manager (recognised by\n"
        "      its header row). Lists every change to what FILE holds (text the\n"
        "      book cannot hold, titles already taken) with its row. Keeps a backup\n"
        "      of the book in backups/ first and saves once. Refused while the\n"
        "      program has the book open. With --dry-run, only shows what would be\n"
        "      done.\n"
        "      A row whose username or password the book cannot store exactly is\n"
        "      not imported. When rows of FILE are left out (for that, or being\n"
        "      malformed), which and why is told at the end and the exit status\n"
        "      is 5.\n"
        "      A row whose category, title, username and password equal an item\n"
        "      of the book or an earlier row is left out as already there, which\n"
        "      alone does not make the status 5: importing FILE again adds nothing.\n"
        "  search TEXT\n"
        "      Prints \"category / title\" of each item whose text (not its password)\n"
        "      holds TEXT, ignoring case and accents, as the program's search does.\n"
        "      Put \"--\" before a TEXT that starts with \"-\".\n"
        "      Several words are one TEXT, separated by blanks, as if quoted.\n"
        "  check\n"
        "      Reports items whose category is missing, titles used twice in a\n"
        "      category, records too short to name a category and a title, and\n"
        "      text the program's editor refuses.\n"
        "      Also reports records cut short: fewer fields than an item has.\n"
        "  protect\n"
        "      Encrypts the book into book.tarnwick under a new master password\n"
        "      (asked twice on the terminal), reads it back, then removes\n"
        "      categories.dat, items.dat and their backups.\n"
        "  unprotect [--replace-unstorable]\n"
        "      Writes the plain files again and removes book.tarnwick. Text the\n"
        "      plain files cannot hold is listed and nothing is written, unless\n"
        "      --replace-unstorable lets each such character become \"?\".\n"
        "  passwd\n"
        "      Asks the master password, then the new one; with --password-stdin\n"
        "      the first two lines of standard input are the old and the new.\n"
        "  generate [--length N] [--classes LIST] [--avoid-look-alikes]\n"
        "      Prints a new password drawn from the system's random generator, of\n"
        "      N characters (8 to 128, default 20) from the classes of LIST, a\n"
        "      comma-separated list of lower, upper, digits, symbols and accented\n"
        "      (default lower,upper,digits,symbols), each at least once, and only\n"
        "      characters the book can hold. --avoid-look-alikes leaves out\n"
        "      0 O 1 l I |.\n"
        "\n"
        "Options:\n"
        "  --folder DIR   The application folder holding the book.\n"
        "  --csv FILE     The CSV file of export and import.\n"
        "  --dry-run      import: change nothing.\n"
        "  --password-stdin  Read the master password from standard input.\n"
        "  --replace-unstorable  unprotect: \"?\" for what plain files cannot hold.\n"
        "  -h, --help     Show this help.\n"
        "\n"
        "Exit status: 0 done (check: nothing found), 1 failed, 2 wrong usage,\n"
        "3 the program has the book open, 4 check found something.\n"
        "5 import left rows of FILE out (told at the end); the others were\n"
        "imported, or with --dry-run would be. 6 the master password is wrong;\n"
        "nothing was written.\n");
}

int UsageError(const QString &text)
{
    Fail(text);
    // The short usage: the help's first line.
    Print(stderr, HelpText().section(QLatin1Char('\n'), 0, 0) + QLatin1Char('\n'));
    Print(stderr, QStringLiteral("Try 'tarnwick-book --help'.\n"));
    return ExitUsage;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarnwick-book"));
    QCommandLineParser parser;
    const QCommandLineOption folderOption(QStringLiteral("folder"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption csvOption(QStringLiteral("csv"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption dryRunOption(QStringLiteral("dry-run"), QString());
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption passwordStdinOption(QStringLiteral("password-stdin"), QString());
    const QCommandLineOption replaceOption(QStringLiteral("replace-unstorable"), QString());
    parser.addOptions({folderOption, csvOption, dryRunOption, helpOption, passwordStdinOption, replaceOption});
    const QCommandLineOption lengthOption(QStringLiteral("length"), QString(), QStringLiteral("N"));
    const QCommandLineOption classesOption(QStringLiteral("classes"), QString(), QStringLiteral("LIST"));
    const QCommandLineOption lookAlikesOption(QStringLiteral("avoid-look-alikes"), QString());
    parser.addOptions({lengthOption, classesOption, lookAlikesOption});
    if (!parser.parse(QCoreApplication::arguments()))
        return UsageError(parser.errorText());
    if (parser.isSet(helpOption)) {
        Print(stdout, HelpText());
        return ExitOk;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return UsageError(QStringLiteral("No command given."));
    const QString command = positional.first();
    const QStringList arguments = positional.mid(1);

    TToolContext context;
    context.folder = parser.isSet(folderOption) ? parser.value(folderOption) : QCoreApplication::applicationDirPath();
    // A folder that is not there is a failure of the command, not of its
    // wording.
    if (!QFileInfo(context.folder).isDir()) {
        Fail(QStringLiteral("\"%1\" is not a folder.").arg(Native(context.folder)));
        return ExitFailed;
    }
    context.folder = QDir(context.folder).absolutePath() + QLatin1Char('/');
    context.csv = parser.value(csvOption);
    context.dryRun = parser.isSet(dryRunOption);
    context.passwordStdin = parser.isSet(passwordStdinOption);
    context.replaceUnstorable = parser.isSet(replaceOption);
    if (context.replaceUnstorable && command != QLatin1String("unprotect"))
        return UsageError(QStringLiteral("--replace-unstorable belongs to unprotect."));

    const bool csvCommand = command == QLatin1String("export") || command == QLatin1String("import");
    if (parser.isSet(csvOption) && !csvCommand)
        return UsageError(QStringLiteral("--csv belongs to export and import."));
    if (context.dryRun && command != QLatin1String("import"))
        return UsageError(QStringLiteral("--dry-run belongs to import."));
    const bool generateCommand = command == QLatin1String("generate");
    if (!generateCommand
        && (parser.isSet(lengthOption) || parser.isSet(classesOption) || parser.isSet(lookAlikesOption)))
        return UsageError(QStringLiteral("--length, --classes and --avoid-look-alikes belong to generate."));
    TPasswordOptions password;
    if (generateCommand) {
        if (!arguments.isEmpty())
            return UsageError(
                QStringLiteral("Usage: tarnwick-book generate [--length N] [--classes LIST] [--avoid-look-alikes]"));
        bool number = true;
        if (parser.isSet(lengthOption))
            password.length = parser.value(lengthOption).toInt(&number);
        if (!number)
            return UsageError(QStringLiteral("--length takes a number."));
        if (parser.isSet(classesOption) && !ReadPasswordClasses(parser.value(classesOption), &password.classes))
            return UsageError(QStringLiteral("--classes takes a comma-separated list of %1.")
                                  .arg(PasswordClassNames().join(QStringLiteral(", "))));
        password.avoidLookAlikes = parser.isSet(lookAlikesOption);
        if (const QString refusal = PasswordRefusal(password); !refusal.isEmpty())
            return UsageError(refusal);
    }
    if (csvCommand && (context.csv.isEmpty() || !arguments.isEmpty()))
        return UsageError(QStringLiteral("Usage: tarnwick-book [--folder DIR] %1 --csv FILE%2")
                              .arg(command, command == QLatin1String("import") ? QStringLiteral(" [--dry-run]")
                                                                                : QString()));
    try {
        if (command == QLatin1String("export"))
            return Export(context);
        if (command == QLatin1String("import"))
            return Import(context);
        if (command == QLatin1String("search")) {
            if (arguments.isEmpty())
                return UsageError(QStringLiteral("Usage: tarnwick-book [--folder DIR] search TEXT"));
            return Search(context, arguments.join(QLatin1Char(' ')));
        }
        if (generateCommand)
            return Generate(password);
        if (command == QLatin1String("check")) {
            if (!arguments.isEmpty())
                return UsageError(QStringLiteral("Usage: tarnwick-book [--folder DIR] check"));
            return Check(context);
        }
        for (const auto &[name, run] : {std::pair{"protect", &Protect}, std::pair{"unprotect", &Unprotect},
                                        std::pair{"passwd", &ChangePassword}}) {
            if (command != QLatin1String(name))
                continue;
            if (!arguments.isEmpty())
                return UsageError(QStringLiteral("Usage: tarnwick-book [--folder DIR] [--password-stdin] %1").arg(command));
            return run(context);
        }
        return UsageError(QStringLiteral("Unknown command \"%1\".").arg(command));
    } catch (const EWrongPassword &e) {
        Fail(e.message());
        return ExitWrongPassword;
    } catch (const EAppError &e) {
        Fail(e.message());
        return ExitFailed;
    }
}
