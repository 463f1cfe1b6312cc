#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>

#include <functional>

class QNetworkReply;

// The body of a network answer, read up to a cap and never further.
//
// Left alone, a QNetworkReply keeps reading from the connection into memory
// as fast as the server sends, whatever anybody does with the reply: an
// endless answer took some 100 MB before a check of its size could end it.
// Watched by a TCappedReply, the reply holds at most one buffer of the body;
// each piece is handed on as it arrives and counted as it comes out of the
// reply, after decompression, so a small compressed answer that unpacks
// into a large one is counted at its unpacked size. The reply is ended as
// soon as the answer is known to be larger than the cap: at its headers
// when they announce more, otherwise at the first byte past it.
//
// Every place that reads an answer from a server reads it through one.
class TCappedReply : public QObject
{
    Q_OBJECT
public:
    // The most bytes of a body the reply holds for its reader at a time.
    static constexpr qint64 BufferSize = 64 * 1024;

    // Takes the next piece of the body; returns false when it cannot (a
    // failed write, say), which ends the reply. It may end the reply itself
    // and deleteLater() it, but not delete it.
    using TTake = std::function<bool(const QByteArray &piece)>;

    // Watches `reply` from now on; call it before control returns to the
    // event loop after the request was made, and before connecting to the
    // reply's finished(), so that the last piece is taken first. The
    // watcher is the reply's child and goes with it.
    TCappedReply(QNetworkReply *reply, qint64 cap, TTake take);

    // The answer was larger than the cap, announced or read; the reply
    // was ended and nothing past the cap was taken.
    bool OverCap() const { return m_overCap; }
    // A piece could not be taken; the reply was ended.
    bool Refused() const { return m_refused; }
    // Bytes of the body read from the reply so far, the last piece of one
    // that was over the cap included.
    qint64 BytesRead() const { return m_read; }

private:
    void OnMetaData();
    void Read();
    void End();

    QPointer<QNetworkReply> m_reply;
    qint64 m_cap;
    TTake m_take;
    qint64 m_read = 0;
    bool m_overCap = false;
    bool m_refused = false;
};
