// tarnwick-brand: the publisher's tool for the settings container.
//
//   tarnwick-brand [--passphrase TEXT] pack PLAINTEXT CONTAINER
//   tarnwick-brand [--passphrase TEXT] unpack CONTAINER PLAINTEXT
//   tarnwick-brand [--passphrase TEXT] unpack --print CONTAINER
//   tarnwick-brand template
//   tarnwick-brand [--passphrase TEXT] check [--online] CONTAINER
//
// Commands live in one table: a new command is a function and a row.

#include "tools/tool_output.h"
#include "brand_online.h"
#include "settings/branding_kit.h"
#include "settings/branding_parser.h"
#include "util/codepage.h"
#include "util/errors.h"
#include "util/file_crypt.h"
#include "util/string_list.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

enum TExitCode { ExitOk = 0, ExitFailed = 1, ExitUsage = 2 };

struct TToolContext
{
    QByteArray Passphrase;
    bool Print = false;   // unpack: to the terminal instead of a file
    bool Online = false;  // check: ask the news site and the addresses too
};

// A settings text is a few kilobytes; anything far larger is no settings text.
constexpr qint64 kMaxPlaintextBytes = 64 * 1024 * 1024;

struct TCommand
{
    const char *Name;
    const char *Arguments;  // as shown in the help
    const char *Summary;    // one or more lines for the help
    int ArgumentCount;
    int (*Run)(const QStringList &arguments, const TToolContext &context);
};

void Fail(const QString &text)
{
    FailAs("tarnwick-brand", text);
}

int Pack(const QStringList &arguments, const TToolContext &context)
{
    const QString source = Native(arguments[0]);
    QFile in(arguments[0]);
    if (!in.open(QIODevice::ReadOnly)) {
        Fail(QStringLiteral("Cannot open file \"%1\": %2; nothing was written.").arg(source, in.errorString()));
        return ExitFailed;
    }
    if (in.size() > kMaxPlaintextBytes) {
        Fail(QStringLiteral("\"%1\" is larger than 64 MiB; nothing was written.").arg(source));
        return ExitFailed;
    }
    const TSettingsTextConversion text = ConvertSettingsText(in.readAll());
    in.close();
    if (!text.Ok) {
        Fail(QStringLiteral("%1, line %2, column %3: %4. Nothing was written.")
                 .arg(source)
                 .arg(text.Line)
                 .arg(text.Column)
                 .arg(text.Problem));
        return ExitFailed;
    }
    // Text that needs no conversion is packed from its own file, byte for byte.
    QString plain = arguments[0];
    QTemporaryDir work;
    if (text.Source != TSettingsTextConversion::TSource::Unchanged) {
        if (!work.isValid()) {
            Fail(QStringLiteral("Cannot create a temporary folder; nothing was written."));
            return ExitFailed;
        }
        plain = work.filePath(QStringLiteral("settings.txt"));
        QFile out(plain);
        if (!out.open(QIODevice::WriteOnly) || out.write(text.Text) != text.Text.size() || !out.flush()) {
            Fail(QStringLiteral("Cannot write a temporary file; nothing was written."));
            return ExitFailed;
        }
    }
    if (!EncryptFileWithPassphrase(plain, arguments[1], context.Passphrase)) {
        Fail(QStringLiteral("Cannot encrypt \"%1\"; nothing was written.").arg(source));
        return ExitFailed;
    }
    if (text.Converted > 0)
        Print(stdout, QStringLiteral("%1: UTF-8 text%2; %3 non-ASCII %4 converted to Windows-1252.\n")
                          .arg(source,
                               text.Source == TSettingsTextConversion::TSource::Utf8WithMark
                                   ? QStringLiteral(" with a byte-order mark")
                                   : QString())
                          .arg(text.Converted)
                          .arg(text.Converted == 1 ? QStringLiteral("character") : QStringLiteral("characters")));
    return ExitOk;
}

int Unpack(const QStringList &arguments, const TToolContext &context);

// The plaintext of a container, read as the program reads it; false when the
// container does not open (the reason is already reported).
bool OpenPlaintext(const QString &container, const TToolContext &context, QByteArray &text)
{
    // The plaintext only ever lies in a folder of our own, removed on return.
    QTemporaryDir work;
    if (!work.isValid()) {
        Fail(QStringLiteral("Cannot create a temporary folder."));
        return false;
    }
    const QString plain = work.filePath(QStringLiteral("settings.txt"));
    TToolContext toFile = context;
    toFile.Print = false;
    if (Unpack({container, plain}, toFile) != ExitOk)
        return false;
    // Lines joined with CR LF, a NUL ends it.
    text = JoinLines(LoadStringList(plain));
    return true;
}

int Unpack(const QStringList &arguments, const TToolContext &context)
{
    if (context.Print) {
        QByteArray text;
        if (!OpenPlaintext(arguments[0], context, text))
            return ExitFailed;
        QString shown = FromAnsi(text);
        shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        Print(stdout, shown);
        return ExitOk;
    }
    const QString container = Native(arguments[0]);
    switch (UnpackContainer(arguments[0], arguments[1], context.Passphrase)) {
    case TContainerCheck::Opened:
        return ExitOk;
    case TContainerCheck::TooShort:
        Fail(QStringLiteral("\"%1\" is too short to be a container; nothing was written.").arg(container));
        break;
    case TContainerCheck::VerifierMismatch:
        Fail(QStringLiteral("The passphrase does not match \"%1\" (password verifier differs), or it is not "
                            "a container; nothing was written.")
                 .arg(container));
        break;
    case TContainerCheck::Damaged:
        Fail(QStringLiteral("\"%1\" is damaged: its authentication code does not match the data; nothing "
                            "was written.")
                 .arg(container));
        break;
    }
    return ExitFailed;
}

int Template(const QStringList &, const TToolContext &)
{
    const QByteArray text = BrandingTemplate();
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    return ExitOk;
}

int Check(const QStringList &arguments, const TToolContext &context)
{
    QByteArray text;
    if (!OpenPlaintext(arguments[0], context, text))
        return ExitFailed;
    QString folder = QFileInfo(arguments[0]).absolutePath();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');

    TBrandingReport report = CheckBrandingText(text, folder);
    if (LooksLikeUtf8(text))
        report.Warnings << QStringLiteral(
            "The text holds UTF-8 characters packed unconverted: the program reads Windows-1252 and shows each "
            "as two or three characters (\"%1\" for \"%2\"). Unpack it, then pack it again with this tool, "
            "which converts it.")
                               .arg(FromAnsi(QByteArray("caf\xC3\xA9")), QString::fromUtf8("caf\xC3\xA9"));
    if (context.Online) {
        // The program's own event loop, run once, while the requests are out.
        CheckOnline(ParseBrandingText(text), [&report](const TOnlineReport &online) {
            report.Lines << QString() << online.Lines;
            report.Warnings << online.Warnings;
            QCoreApplication::quit();
        });
        QCoreApplication::exec();
    }
    Print(stdout, QStringLiteral("\"%1\" opens and its authentication code matches.\n\n").arg(Native(arguments[0])));
    for (const QString &line : report.Lines)
        Print(stdout, line + QLatin1Char('\n'));
    if (!report.Warnings.isEmpty())
        Print(stdout, QStringLiteral("\n"));
    for (const QString &warning : report.Warnings)
        Print(stdout, QStringLiteral("warning: ") + warning + QLatin1Char('\n'));
    return ExitOk;
}

const TCommand Commands[] = {
    {"pack", "PLAINTEXT CONTAINER",
     "Encrypts the file PLAINTEXT into the container CONTAINER (for example\n"
     "dbsettings.dat). A new salt is drawn every time. A text in UTF-8 (with or\n"
     "without a byte-order mark) is converted to the Windows-1252 the program\n"
     "reads; a character Windows-1252 cannot hold is refused with its line and\n"
     "column, and nothing is written. Any other file is packed as it is.",
     2, Pack},
    {"unpack", "CONTAINER PLAINTEXT",
     "Decrypts CONTAINER into PLAINTEXT (Windows-1252, as stored). Nothing is\n"
     "written unless the passphrase matches and the authentication code proves\n"
     "the data whole. With --print CONTAINER, shows the text in the terminal.",
     2, Unpack},
    {"template", "",
     "Prints a settings plaintext with every tag in the order the application\n"
     "reads them, values empty, with short comments. Fill it in, then pack it.",
     0, Template},
    {"check", "CONTAINER",
     "Decrypts and authenticates CONTAINER, prints every setting as the\n"
     "application will read it, and warns about what silently hides a setting:\n"
     "tags out of order, gaps in numbered families, levels, banner files beside\n"
     "CONTAINER, links without an address. Warnings do not change the status.\n"
     "With --online, also asks the news site of the level (latest news, then\n"
     "the list) and fetches every web address the program opens.",
     1, Check},
};

const TCommand *FindCommand(const QString &name)
{
    for (const TCommand &c : Commands)
        if (name == QLatin1String(c.Name))
            return &c;
    return nullptr;
}

QString HelpText()
{
    QString text = QStringLiteral(
        "Usage: tarnwick-brand [--passphrase TEXT] COMMAND ARGUMENTS...\n"
        "\n"
        "Makes and reads the encrypted settings container that ships beside the\n"
        "application.\n"
        "\n"
        "Commands:\n");
    for (const TCommand &c : Commands) {
        text += QStringLiteral("  %1 %2\n").arg(QLatin1String(c.Name), QLatin1String(c.Arguments));
        for (const QString &line : QString::fromLatin1(c.Summary).split(QLatin1Char('\n')))
            text += QStringLiteral("      %1\n").arg(line);
    }
    text += QStringLiteral(
        "\n"
        "Options:\n"
        "  --print            unpack: show the text instead of writing a file.\n"
        "  --online           check: ask the news site and the web addresses too.\n"
        "  --passphrase TEXT  Use TEXT instead of the application's own passphrase\n"
        "                     (at most 128 bytes in Windows-1252; its length chooses\n"
        "                     AES-128 up to 31 bytes, AES-192 up to 47, else AES-256).\n"
        "  -h, --help         Show this help.\n"
        "\n"
        "Output files are replaced atomically: a failure leaves the old file as it was.\n"
        "Exit status: 0 done, 1 failed, 2 wrong usage.\n");
    return text;
}

int UsageError(const QString &text)
{
    Fail(text);
    Print(stderr, QStringLiteral("Try 'tarnwick-brand --help'.\n"));
    return ExitUsage;
}

} // namespace

int main(int argc, char *argv[])
{
#ifdef Q_OS_WIN
    // Text goes to the console as UTF-8, whatever its code page was.
    SetConsoleOutputCP(CP_UTF8);
#endif
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarnwick-brand"));

    QCommandLineParser parser;
    const QCommandLineOption passphraseOption(QStringLiteral("passphrase"), QString(), QStringLiteral("TEXT"));
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption printOption(QStringLiteral("print"), QString());
    const QCommandLineOption onlineOption(QStringLiteral("online"), QString());
    parser.addOption(passphraseOption);
    parser.addOption(printOption);
    parser.addOption(onlineOption);
    parser.addOption(helpOption);
    if (!parser.parse(QCoreApplication::arguments()))
        return UsageError(parser.errorText());
    if (parser.isSet(helpOption)) {
        Print(stdout, HelpText());
        return ExitOk;
    }

    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return UsageError(QStringLiteral("No command given."));
    const TCommand *command = FindCommand(positional.first());
    if (!command)
        return UsageError(QStringLiteral("Unknown command \"%1\".").arg(positional.first()));
    const QStringList arguments = positional.mid(1);
    const bool print = parser.isSet(printOption);
    const bool online = parser.isSet(onlineOption);
    if (print && command->Run != Unpack)
        return UsageError(QStringLiteral("--print belongs to unpack."));
    if (online && command->Run != Check)
        return UsageError(QStringLiteral("--online belongs to check."));
    if (print && arguments.size() != 1)
        return UsageError(QStringLiteral("Usage: tarnwick-brand [--passphrase TEXT] unpack --print CONTAINER"));
    if (!print && arguments.size() != command->ArgumentCount)
        return UsageError(QStringLiteral("Usage: tarnwick-brand [--passphrase TEXT] %1 %2")
                              .arg(QLatin1String(command->Name), QLatin1String(command->Arguments)));

    TToolContext context{QByteArray(ContainerPassphrase), print, online};
    if (parser.isSet(passphraseOption)) {
        bool lossless = true;
        context.Passphrase = ToAnsi(parser.value(passphraseOption), &lossless);
        if (!lossless)
            return UsageError(QStringLiteral("The passphrase has characters that Windows-1252 cannot hold."));
        if (context.Passphrase.size() > 128)
            return UsageError(QStringLiteral("The passphrase is longer than 128 bytes."));
    }

    try {
        return command->Run(arguments, context);
    } catch (const EAppError &e) {
        Fail(e.message());
        return ExitFailed;
    }
}
