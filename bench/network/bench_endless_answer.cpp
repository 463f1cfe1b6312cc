// What an endless answer costs the reader: a server on loopback (a forked
// child, so none of its memory is the reader's) answers each request with a
// head and then a body without end, plain or compressed, and the reader is
// the program's own code: the news request, the update description, and the
// updater's signed description. Each case runs in a fresh process (this
// program started again with a case name), so its peak memory (VmHWM) is
// its own; it is compared with the memory of the same process at rest, after
// one small request has loaded the network code.
//
// Usage: bench_endless_answer            (every case, one process each)
//        bench_endless_answer CASE       (one case: news, news-gzip,
//                                         news-bomb, description, updater)
#include "bench/support/bench_support.h"
#include "services/http_client.h"
#include "tests/support/http_wait.h"
#include "updater/update_job.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

namespace {

const char *const kCases[] = {"news", "news-gzip", "news-bomb", "description", "updater"};

long StatusKb(const char *field)
{
    long kb = -1;
    if (std::FILE *f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        const size_t n = std::strlen(field);
        while (std::fgets(line, sizeof line, f))
            if (std::strncmp(line, field, n) == 0)
                kb = std::strtol(line + n, nullptr, 10);
        std::fclose(f);
    }
    return kb;
}

// The start of a gzip member and 1 MiB of `text` as blocks that each stand
// alone, so that the blocks can be repeated without end.
QByteArray GzipStart(const QByteArray &text)
{
    z_stream z{};
    deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&z, uLong(text.size()))) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(text.constData()));
    z.avail_in = uInt(text.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FULL_FLUSH);
    out.truncate(qsizetype(z.total_out));
    deflateEnd(&z);
    return out;
}

struct TServer
{
    pid_t pid = -1;
    quint16 port = 0;
    int counts = -1; // body bytes sent per endless answer, one qint64 each
};

// Forks the server. "/small" gets a short answer; anything else `head`
// followed by `body` again and again until the reader hangs up.
TServer StartServer(const QByteArray &head, const QByteArray &body)
{
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address);
    ::listen(listener, 8);
    ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        std::abort();
    TServer server;
    server.port = ntohs(address.sin_port);
    server.pid = ::fork();
    if (server.pid != 0) {
        ::close(listener);
        ::close(pipeEnds[1]);
        server.counts = pipeEnds[0];
        return server;
    }
    ::close(pipeEnds[0]);
    for (;;) {
        const int client = ::accept(listener, nullptr, nullptr);
        if (client < 0)
            continue;
        QByteArray request;
        char buffer[16384];
        qsizetype needed = -1;
        while (needed < 0 || request.size() < needed) {
            const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            request.append(buffer, got);
            const qsizetype headEnd = request.indexOf("\r\n\r\n");
            if (needed < 0 && headEnd >= 0) {
                qint64 bodyLength = 0;
                for (const QByteArray &line : request.left(headEnd).split('\n'))
                    if (line.toLower().startsWith("content-length:"))
                        bodyLength = line.mid(15).trimmed().toLongLong();
                needed = headEnd + 4 + bodyLength;
            }
        }
        if (request.contains(" /small ")) {
            const QByteArray small = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nOK";
            (void)::send(client, small.constData(), size_t(small.size()), MSG_NOSIGNAL);
        } else {
            qint64 sent = 0;
            if (::send(client, head.constData(), size_t(head.size()), MSG_NOSIGNAL) == head.size())
                for (;;) {
                    const ssize_t n = ::send(client, body.constData(), size_t(body.size()), MSG_NOSIGNAL);
                    if (n <= 0)
                        break;
                    sent += n;
                }
            (void)::write(pipeEnds[1], &sent, sizeof sent);
        }
        ::close(client);
    }
}

int RunCase(const QByteArray &name)
{
    QByteArray text;
    for (quint64 i = 0; text.size() < 1024 * 1024; ++i)
        text += QByteArray::number(i * 2654435761u % 1000003) + ' ';
    text.truncate(1024 * 1024);
    const QByteArray plainHead = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n";
    const QByteArray gzipHead =
        "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Encoding: gzip\r\nConnection: close\r\n\r\n";
    QByteArray head = plainHead;
    QByteArray body = text.left(64 * 1024);
    if (name == "news-gzip" || name == "news-bomb") {
        const QByteArray packed = GzipStart(name == "news-gzip" ? text : QByteArray(1024 * 1024, '\0'));
        head = gzipHead + packed.left(10);
        body = packed.mid(10);
    }
    const TServer server = StartServer(head, body);

    int argc = 1;
    char arg0[] = "bench_endless_answer";
    char *argv[] = {arg0, nullptr};
    QCoreApplication app(argc, argv);
    const QByteArray base = "http://127.0.0.1:" + QByteArray::number(server.port);
    THttpClient client;
    PostForm(client, base + "/small", {{"a", "b"}});
    const long restKb = StatusKb("VmRSS:");

    const qint64 start = Bench::NowNs();
    QString outcome;
    if (name == "updater") {
        QTemporaryDir folder;
        TUpdateJob job(folder.path(), QString::fromLatin1(base + "/liveupdate/tarnwick/"), QStringLiteral("2.0"), {});
        job.Start();
        while (!job.IsFinished())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        outcome = job.Message();
    } else {
        try {
            if (name == "description") {
                QBuffer file;
                file.open(QIODevice::WriteOnly);
                GetToFile(client, base + "/mainappupdate.inf", file);
            } else {
                PostForm(client, base + "/getlastnews.php", {{"a", "b"}});
            }
            outcome = QStringLiteral("(no error)");
        } catch (const EHttpError &e) {
            outcome = e.message();
        }
    }
    const double ms = double(Bench::NowNs() - start) / 1e6;
    qint64 sent = -1;
    (void)::read(server.counts, &sent, sizeof sent);
    ::kill(server.pid, SIGKILL);
    ::waitpid(server.pid, nullptr, 0);
    const long peakKb = Bench::PeakMemoryKb();
    std::printf("%-12s rest %6.1f MB  peak %6.1f MB  (+%5.1f MB)  server sent %8.2f MB  %7.0f ms  %s\n",
                name.constData(), restKb / 1024.0, peakKb / 1024.0, (peakKb - restKb) / 1024.0,
                double(sent) / (1024.0 * 1024.0), ms, qPrintable(outcome));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1)
        return RunCase(argv[1]);
    std::printf("Endless answers on loopback; load average %s\n", Bench::LoadAverage().c_str());
    std::fflush(stdout);
    for (const char *name : kCases) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QString::fromLocal8Bit(argv[0]), {QString::fromLatin1(name)});
        if (!child.waitForFinished(300000) || child.exitCode() != 0)
            return 1;
    }
    return 0;
}
