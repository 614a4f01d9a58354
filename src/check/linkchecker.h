// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "check/finding.h"
#include "model/progress.h"

#include <QHash>
#include <QNetworkAccessManager>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

class QNetworkReply;

namespace check {

struct LinkResult {
    Kind kind = Kind::Ok;
    int code = 0;  // the last HTTP status seen, 0 when none came
    std::string detail;
    std::string newTarget;  // Moved: where the permanent redirects lead
    // A fetch (LinkChecker::fetch) that ended in a 2xx: the body, its Content-Type and the address
    // it came from after redirects.
    std::string body;
    std::string contentType;
    std::string finalAddress;
};

// Whether a host name resolves, asked once per host and check.
enum class HostAnswer { Resolves, DoesNotResolve, NoAnswer };
// Calls `answer` once, on the calling thread, at once or later.
using HostLookup = std::function<void(const QString& host, std::function<void(HostAnswer)> answer)>;

struct LinkCheckLimits {
    int timeoutMs = 15000;  // per request
    int perHost = 2;
    int total = 16;
    int maxRedirects = 10;
    // Longest Retry-After waited for once before the link is left "unknown".
    int longestRetryWaitMs = 15000;
    // The largest body a fetch reads; a larger one ends the fetch.
    qint64 largestBody = 10 * 1024 * 1024;
    // Empty: the system's resolver, waited for up to timeoutMs.
    HostLookup lookUpHost;
};

// Pure rules of the link check, apart so they can be read and tested as tables.
Kind kindForStatus(int status);
// HEAD answers that a GET may contradict: servers that refuse or mishandle HEAD.
bool retryWithGet(int status);
bool isRedirect(int status);
inline bool isPermanentRedirect(int status)
{
    return status == 301 || status == 308;
}
// The most a Retry-After is taken to ask for (a year): longer waits mean the same, and times 1000 it
// stays far inside 64 bits.
inline constexpr qint64 longestRetryAfter = 365LL * 24 * 3600;
// Seconds of a Retry-After header (delta-seconds or an HTTP date, against now), at most
// longestRetryAfter; -1 when unreadable.
qint64 retryAfterSeconds(const QByteArray& value, const QDateTime& now);
// Where a redirect's Location leads from `from`; an invalid URL when it leads nowhere.
QUrl redirectTarget(const QUrl& from, const QByteArray& location);
// Why an address is not fetched, or empty when it is an http or https URL worth checking.
std::string notCheckedReason(const std::string& address);

static constexpr std::size_t longestCheckedAddress = 8192;

// Checks web addresses with HEAD (GET up to the headers where HEAD is refused), following redirects
// itself so it can count them and tell a permanent move, at most `perHost` requests per host and
// `total` at once. Runs in the event loop of the thread that owns it. Progress hears the links
// settled of those enqueued, and is asked now and then while requests run; when it says stop, what
// runs is aborted, what waits is dropped, nothing more is reported and allChecked() comes at once.
// Each host name is looked up once for the checker's life and its links wait for the answer: a
// name that does not resolve settles all its links alike, with no request and no further lookup.
class LinkChecker : public QObject {
    Q_OBJECT
public:
    explicit LinkChecker(LinkCheckLimits limits = {}, Progress& progress = Progress::none(), QObject* parent = nullptr);
    ~LinkChecker() override;

    void enqueue(int id, const std::string& address);
    // As enqueue, under the same limits, but with GET and the body read (up to largestBody): for
    // keeping a copy of a page and what it shows.
    void fetch(int id, const std::string& address);
    bool idle() const;

signals:
    void checked(int id, const check::LinkResult& result);
    // Every queued link was reported (or the check was cancelled).
    void allChecked();

private:
    struct Job {
        int id = 0;
        QString hostKey;
        QUrl url;
        QSet<QString> visited;
        int redirects = 0;
        bool useGet = false;
        bool fetchBody = false;
        bool retried = false;
        bool allPermanent = true;
        QUrl permanentTarget;
        int headStatus = 0;
    };
    struct Host {
        std::deque<std::unique_ptr<Job>> waiting;
        int active = 0;
        bool queued = false;
    };
    struct HostName {
        bool asked = false;
        std::optional<HostAnswer> answer;
        std::vector<std::unique_ptr<Job>> held;
    };

    void cancel();
    bool keepGoing();
    void schedule();
    void add(std::unique_ptr<Job> job);
    void queueForHost(std::unique_ptr<Job> job);
    void askAbout(const QString& name, const QUrl& url);
    void applyAnswer(const QString& name);
    void startLookups();
    LinkResult answerResult(HostAnswer answer, const Job& job) const;
    void start(std::unique_ptr<Job> job);
    void onFinished(QNetworkReply* reply);
    std::unique_ptr<Job> takeJob(QObject* holder);
    void settle(std::unique_ptr<Job> job, LinkResult result);
    void report(int id, const LinkResult& result);
    void release(const QString& hostKey);
    LinkResult networkFailure(QNetworkReply* reply, const Job& job) const;
    static void takeBody(QNetworkReply* reply, const Job& job, LinkResult& result);

    LinkCheckLimits limits;
    Progress& progress;
    // Asks the progress while requests run, however long no answer comes.
    QTimer watch;
    std::size_t enqueued = 0;
    std::size_t settled = 0;
    QNetworkAccessManager network;
    std::unordered_map<QString, Host> hosts;
    std::unordered_map<QString, HostName> names;
    std::deque<QString> lookupQueue;
    int lookingUp = 0;
    // Requests on the way and jobs waiting out a Retry-After, by the reply or timer that holds them.
    std::unordered_map<QObject*, std::unique_ptr<Job>> inFlight;
    std::deque<QString> readyHosts;
    int active = 0;
    int outstanding = 0;
    bool cancelled = false;
};

}  // namespace check

Q_DECLARE_METATYPE(check::LinkResult)
