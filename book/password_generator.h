#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// New passwords drawn from the operating system's random generator, from the
// characters the book that will hold them can store.

constexpr int kPasswordMinLength = 8;
constexpr int kPasswordMaxLength = 128;
constexpr int kPasswordDefaultLength = 20;

// The kinds of character a password may be made of.
enum TPasswordClass : unsigned {
    PasswordLower = 1,    // a-z
    PasswordUpper = 2,    // A-Z
    PasswordDigits = 4,   // 0-9
    PasswordSymbols = 8,  // the ASCII punctuation, !"#$%&'()*+,-./:;<=>?@[\]^_`{|}~
    PasswordAccented = 16, // the letters of Windows-1252 beyond ASCII (é, ß, Œ...)
    PasswordAllClasses = 31,
};

struct TPasswordOptions
{
    int length = kPasswordDefaultLength;
    unsigned classes = PasswordLower | PasswordUpper | PasswordDigits | PasswordSymbols;
    // Leaves out characters easily read as one another: 0 O, 1 l I, and |.
    bool avoidLookAlikes = false;
    // Characters the user adds to those of the classes.
    QString extra;
    // A plain book holds Windows-1252 without its field delimiter; a book
    // that holds its text otherwise may take any printable character.
    bool anyPrintable = false;
};

// The names the command line and the settings use for the classes, in the
// order of TPasswordClass: "lower", "upper", "digits", "symbols", "accented".
QStringList PasswordClassNames();
// The classes of a comma-separated list of those names; false for a name
// that is none of them.
bool ReadPasswordClasses(const QString &names, unsigned *classes);

// Why no password can be made with these options (a length outside 8 to 128,
// no class chosen and nothing added, a character the book cannot hold);
// empty when one can.
QString PasswordRefusal(const TPasswordOptions &options);

// The characters a password is drawn from, each once, in a fixed order;
// empty when the options are refused.
QList<char32_t> PasswordAlphabet(const TPasswordOptions &options);

// A source of uniformly random 32-bit numbers; by default the operating
// system's (QRandomGenerator::system()).
using TRandomSource = std::function<quint32()>;

// A uniformly random number below `bound` (at least 1): numbers of the
// source that would favour the low values (the last, incomplete round of
// `bound` below 2^32) are drawn again.
quint32 UniformBelow(quint32 bound, const TRandomSource &random);

// A new password, or an empty one when the options are refused. Each chosen
// class (and the added characters) appears at least once: a password without
// one is drawn again whole, so every password that has them all is equally
// likely.
QString GeneratePassword(const TPasswordOptions &options, const TRandomSource &random = {});

// What a password drawn with these options is worth against someone who
// knows how it was made: its length times log2 of the alphabet's size, in
// bits; 0 when the options are refused.
double PasswordStrengthBits(const TPasswordOptions &options);
// Those bits in a word for the preview: "weak" (below 50), "fair" (below 75),
// "strong" (below 100) or "very strong".
QString PasswordStrengthText(double bits);
