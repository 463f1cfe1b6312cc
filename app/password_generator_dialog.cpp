#include "password_generator_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>

namespace {

template <class W>
W *Named(W *w, const char *name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

// More than a user would type; it keeps a pasted page out of the alphabet.
constexpr int kMaxExtraCharacters = 256;

} // namespace

TPasswordGeneratorDialog::TPasswordGeneratorDialog(bool anyPrintable, QWidget *parent, TRandomSource random)
    : QDialog(parent), m_anyPrintable(anyPrintable), m_random(std::move(random))
{
    setObjectName(QStringLiteral("dlgPasswordGenerator"));
    setWindowTitle(QStringLiteral("Generate Password"));

    const TPasswordOptions defaults;
    m_length = Named(new QSpinBox(this), "spnLength");
    m_length->setRange(kPasswordMinLength, kPasswordMaxLength);
    m_length->setValue(defaults.length);
    m_length->setSuffix(QStringLiteral(" characters"));

    const struct {
        const char *name;
        QString text;
        TPasswordClass cls;
    } classes[] = {
        {"chkLower", QStringLiteral("Small letters (a\u2013z)"), PasswordLower},
        {"chkUpper", QStringLiteral("Capital letters (A\u2013Z)"), PasswordUpper},
        {"chkDigits", QStringLiteral("Digits (0\u20139)"), PasswordDigits},
        {"chkSymbols", QStringLiteral("Symbols (! # % && * + - / ? @ \u2026)"), PasswordSymbols},
        {"chkAccented", QStringLiteral("Accented letters (\u00E9, \u00DF, \u0152 \u2026)"), PasswordAccented},
    };
    auto *classBox = new QGridLayout;
    for (const auto &c : classes) {
        auto *box = Named(new QCheckBox(c.text, this), c.name);
        box->setChecked(defaults.classes & c.cls);
        classBox->addWidget(box, int(m_classes.size()) % 3, int(m_classes.size()) / 3);
        m_classes.append({box, c.cls});
    }
    m_avoidLookAlikes = Named(new QCheckBox(QStringLiteral("Avoid look-alikes (0 O, 1 l I |)"), this),
                              "chkAvoidLookAlikes");
    m_avoidLookAlikes->setChecked(defaults.avoidLookAlikes);
    classBox->addWidget(m_avoidLookAlikes, 2, 1);

    m_extra = Named(new QLineEdit(this), "edtExtraCharacters");
    m_extra->setMaxLength(kMaxExtraCharacters);
    m_extra->setToolTip(anyPrintable ? QStringLiteral("Any printable characters to draw from besides the kinds ticked")
                                     : QStringLiteral("Characters to draw from besides the kinds ticked; the book "
                                                      "holds the letters and signs of Windows-1252"));

    // Not a line edit: it would put the password on the clipboard for good,
    // past the secret clipboard the window's copies go through.
    m_preview = Named(new QPlainTextEdit(this), "edtPreview");
    m_preview->setReadOnly(true);
    m_preview->setTextInteractionFlags(Qt::NoTextInteraction);
    m_preview->setContextMenuPolicy(Qt::NoContextMenu);
    m_preview->setFocusPolicy(Qt::NoFocus);
    m_preview->setWordWrapMode(QTextOption::WrapAnywhere);
    m_preview->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_preview->setAccessibleName(QStringLiteral("New password"));
    const QFontMetrics metrics(m_preview->font());
    m_preview->setMinimumWidth(metrics.horizontalAdvance(QString(32, u'W')));
    m_preview->setFixedHeight(metrics.lineSpacing() * 4 + 2 * m_preview->frameWidth() + 8);

    m_strength = Named(new QLabel(this), "lblStrength");
    m_strength->setWordWrap(true);
    m_again = Named(new QPushButton(QStringLiteral("Generate Again"), this), "btnGenerateAgain");
    m_again->setAutoDefault(false);

    auto *buttons = Named(new QDialogButtonBox(this), "bbxPasswordGenerator");
    m_use = Named(buttons->addButton(QStringLiteral("Use"), QDialogButtonBox::AcceptRole), "btnUse");
    Named(buttons->addButton(QDialogButtonBox::Cancel), "btnCancel");
    m_use->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *form = new QFormLayout;
    auto *lengthLabel = new QLabel(QStringLiteral("&Length:"), this);
    lengthLabel->setBuddy(m_length);
    form->addRow(lengthLabel, m_length);
    auto *extraLabel = new QLabel(QStringLiteral("Also &use:"), this);
    extraLabel->setBuddy(m_extra);
    form->addRow(extraLabel, m_extra);

    auto *strengthRow = new QHBoxLayout;
    strengthRow->addWidget(m_strength, 1);
    strengthRow->addWidget(m_again);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(classBox);
    layout->addWidget(m_preview);
    layout->addLayout(strengthRow);
    layout->addWidget(buttons);

    connect(m_length, &QSpinBox::valueChanged, this, &TPasswordGeneratorDialog::Generate);
    for (const auto &c : std::as_const(m_classes))
        connect(c.first, &QCheckBox::toggled, this, &TPasswordGeneratorDialog::Generate);
    connect(m_avoidLookAlikes, &QCheckBox::toggled, this, &TPasswordGeneratorDialog::Generate);
    connect(m_extra, &QLineEdit::textChanged, this, &TPasswordGeneratorDialog::Generate);
    connect(m_again, &QPushButton::clicked, this, &TPasswordGeneratorDialog::Generate);
    Generate();
}

TPasswordOptions TPasswordGeneratorDialog::Options() const
{
    TPasswordOptions options;
    options.length = m_length->value();
    options.classes = 0;
    for (const auto &c : m_classes)
        if (c.first->isChecked())
            options.classes |= c.second;
    options.avoidLookAlikes = m_avoidLookAlikes->isChecked();
    options.extra = m_extra->text();
    options.anyPrintable = m_anyPrintable;
    return options;
}

void TPasswordGeneratorDialog::Generate()
{
    const TPasswordOptions options = Options();
    const QString refusal = PasswordRefusal(options);
    m_password = refusal.isEmpty() ? GeneratePassword(options, m_random) : QString();
    m_preview->setPlainText(m_password);
    if (!refusal.isEmpty()) {
        m_strength->setText(refusal);
    } else if (m_password.isEmpty()) {
        m_strength->setText(QStringLiteral("No password could be drawn; try again."));
    } else {
        const double bits = PasswordStrengthBits(options);
        m_strength->setText(QStringLiteral("Strength: %1 (%2 bits)")
                                .arg(PasswordStrengthText(bits))
                                .arg(int(std::floor(bits))));
    }
    m_use->setEnabled(!m_password.isEmpty());
    m_again->setEnabled(refusal.isEmpty());
}
