#include "fault_injection.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryFile>

#include <algorithm>
#include <csignal>
#include <mutex>
#include <vector>
#include <sys/resource.h>
#include <unistd.h>

TFileSizeLimit::TFileSizeLimit(long long bytes)
{
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit lim{};
    if (getrlimit(RLIMIT_FSIZE, &lim) != 0)
        return;
    m_old = lim.rlim_cur;
    lim.rlim_cur = static_cast<rlim_t>(bytes);
    m_active = setrlimit(RLIMIT_FSIZE, &lim) == 0;
}

TFileSizeLimit::~TFileSizeLimit()
{
    if (!m_active)
        return;
    rlimit lim{};
    getrlimit(RLIMIT_FSIZE, &lim);
    lim.rlim_cur = static_cast<rlim_t>(m_old);
    setrlimit(RLIMIT_FSIZE, &lim);
}

namespace {
bool FolderTakesFiles(const QString &path)
{
    QTemporaryFile probe(path + QStringLiteral("/probe-XXXXXX"));
    return probe.open();
}
} // namespace

TReadOnlyFolder::TReadOnlyFolder(const QString &path) : m_path(path)
{
    if (geteuid() == 0) {
        m_immutable = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), path}) == 0;
    } else {
        QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
    }
    m_active = !FolderTakesFiles(path);
}

TReadOnlyFolder::~TReadOnlyFolder()
{
    if (m_immutable)
        QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), m_path});
    else
        QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

namespace {

struct TFaultRule
{
    const TWriteFault *owner;
    QString fileName;
    TAtomicWriter::TStep step;
    int error;
    int skip;
};

std::mutex g_faultMutex;
std::vector<TFaultRule> g_faultRules;

int FaultOf(const QString &path, TAtomicWriter::TStep step)
{
    std::lock_guard lock(g_faultMutex);
    const QString name = QFileInfo(path).fileName();
    for (TFaultRule &rule : g_faultRules) {
        if (rule.fileName != name || rule.step != step)
            continue;
        if (rule.skip > 0) {
            --rule.skip;
            continue;
        }
        return rule.error;
    }
    return 0;
}

} // namespace

TWriteFault::TWriteFault(const QString &fileName, TAtomicWriter::TStep step, int error, int skip)
{
    std::lock_guard lock(g_faultMutex);
    g_faultRules.push_back({this, fileName, step, error, skip});
    TAtomicWriter::SetFault(&FaultOf);
}

TWriteFault::~TWriteFault()
{
    std::lock_guard lock(g_faultMutex);
    g_faultRules.erase(std::remove_if(g_faultRules.begin(), g_faultRules.end(),
                                      [this](const TFaultRule &r) { return r.owner == this; }),
                       g_faultRules.end());
    if (g_faultRules.empty())
        TAtomicWriter::SetFault(nullptr);
}
