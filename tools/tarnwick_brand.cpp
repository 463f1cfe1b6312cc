// tarnwick-brand: the publisher's tool for the settings container.
//
//   tarnwick-brand [--passphrase TEXT] pack PLAINTEXT CONTAINER
//   tarnwick-brand [--passphrase TEXT] unpack CONTAINER PLAINTEXT
//   tarnwick-brand template
//   tarnwick-brand [--passphrase TEXT] check CONTAINER
//
// Commands live in one table: a new command is a function and a row.

#include "settings/branding_kit.h"
#include "util/codepage.h"
#include "util/errors.h"
#include "util/file_crypt.h"
#include "util/string_list.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

namespace {

enum TExitCode { ExitOk = 0, ExitFailed = 1, ExitUsage = 2 };

struct TToolContext
{
    QByteArray Passphrase;
};

struct TCommand
{
    const char *Name;
    const char *Arguments;  // as shown in the help
    const char *Summary;    // one or more lines for the help
    int ArgumentCount;
    int (*Run)(const QStringList &arguments, const TToolContext &context);
};

void Print(std::FILE *to, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
}

void Fail(const QString &text)
{
    Print(stderr, QStringLiteral("tarnwick-brand: %1\n").arg(text));
}

QString Native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

int Pack(const QStringList &arguments, const TToolContext &context)
{
    if (!EncryptFileWithPassphrase(arguments[0], arguments[1], context.Passphrase)) {
        Fail(QStringLiteral("Cannot encrypt \"%1\"; nothing was written.").arg(Native(arguments[0])));
        return ExitFailed;
    }
    return ExitOk;
}

int Unpack(const QStringList &arguments, const TToolContext &context)
{
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
    // The plaintext only ever lies in a folder of our own, removed on return.
    QTemporaryDir work;
    if (!work.isValid()) {
        Fail(QStringLiteral("Cannot create a temporary folder."));
        return ExitFailed;
    }
    const QString plain = work.filePath(QStringLiteral("settings.txt"));
    if (Unpack({arguments[0], plain}, context) != ExitOk)
        return ExitFailed;
    // Read as the program reads it: lines joined with CR LF, a NUL ends it.
    const QByteArray text = JoinLines(LoadStringList(plain));
    QString folder = QFileInfo(arguments[0]).absolutePath();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');

    const TBrandingReport report = CheckBrandingText(text, folder);
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
     "dbsettings.dat). A new salt is drawn every time.",
     2, Pack},
    {"unpack", "CONTAINER PLAINTEXT",
     "Decrypts CONTAINER into PLAINTEXT. Nothing is written unless the passphrase\n"
     "matches and the authentication code proves the data whole.",
     2, Unpack},
    {"template", "",
     "Prints a settings plaintext with every tag in the order the application\n"
     "reads them, values empty, with short comments. Fill it in, then pack it.",
     0, Template},
    {"check", "CONTAINER",
     "Decrypts and authenticates CONTAINER, prints every setting as the\n"
     "application will read it, and warns about what silently hides a setting:\n"
     "tags out of order, gaps in numbered families, levels, banner files beside\n"
     "CONTAINER, links without an address. Warnings do not change the status.",
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
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarnwick-brand"));

    QCommandLineParser parser;
    const QCommandLineOption passphraseOption(QStringLiteral("passphrase"), QString(), QStringLiteral("TEXT"));
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")}, QString());
    parser.addOption(passphraseOption);
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
    if (arguments.size() != command->ArgumentCount)
        return UsageError(QStringLiteral("Usage: tarnwick-brand [--passphrase TEXT] %1 %2")
                              .arg(QLatin1String(command->Name), QLatin1String(command->Arguments)));

    TToolContext context{QByteArray(ContainerPassphrase)};
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
