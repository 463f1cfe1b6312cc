#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

// Text the program puts on the system clipboard (a user name, a password).
// It carries the hint that tells clipboard managers not to keep it, and it is
// taken off again after a while and when the program ends, unless the user
// has put something else there meanwhile.
class TSecretClipboard : public QObject
{
    Q_OBJECT
public:
    static constexpr int DefaultLifetimeMs = 30000;
    static constexpr char HintFormat[] = "x-kde-passwordManagerHint";

    explicit TSecretClipboard(QObject *parent = nullptr);
    // Clears the text if it is still there.
    ~TSecretClipboard() override;

    // Replaces the clipboard's contents with `text`, also when it is empty.
    void SetText(const QString &text);
    // Empties the clipboard if it still holds the text last set here.
    void ClearIfStillOurs();

    void SetLifetime(int ms) { m_timer.setInterval(ms); }
    int Lifetime() const { return m_timer.interval(); }

private:
    QString m_text;
    bool m_placed = false;
    QTimer m_timer;
};
