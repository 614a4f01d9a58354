// SPDX-License-Identifier: GPL-3.0-or-later
#include "check/linkchecker.h"

#include "base/address.h"
#include "check/urlnormal.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QSslError>
#include <QTimer>

#include <algorithm>

namespace check {

namespace {

// Bodies are never wanted: a GET stops at the headers, and what arrives meanwhile is bounded.
constexpr qint64 readBuffer = 64 * 1024;
// How soon a request that hangs hears that the check was stopped.
constexpr int watchEveryMs = 50;

const char* const timedOutProperty = "varnelo.timedOut";
const char* const headersSeenProperty = "varnelo.headersSeen";
const char* const tlsErrorsProperty = "varnelo.tlsErrors";
const char* const tooLargeProperty = "varnelo.tooLarge";

std::string statusText(QNetworkReply* reply, int status)
{
    const QByteArray reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray();
    return std::to_string(status) + (reason.isEmpty() ? std::string() : " " + reason.toStdString());
}

std::string text(const QUrl& url)
{
    return url.toString(QUrl::FullyEncoded).toStdString();
}

// The system's resolver, given up on after timeoutMs.
HostLookup systemLookup(QObject* context, int timeoutMs)
{
    return [context, timeoutMs](const QString& host, std::function<void(HostAnswer)> answer) {
        auto pending = std::make_shared<std::function<void(HostAnswer)>>(std::move(answer));
        const auto once = [pending](HostAnswer given) {
            if (auto call = std::exchange(*pending, nullptr))
                call(given);
        };
        const int id = QHostInfo::lookupHost(host, context, [once](const QHostInfo& info) {
            if (info.error() == QHostInfo::NoError && !info.addresses().isEmpty())
                once(HostAnswer::Resolves);
            else
                once(info.error() == QHostInfo::HostNotFound ? HostAnswer::DoesNotResolve : HostAnswer::NoAnswer);
        });
        QTimer::singleShot(timeoutMs, context, [once, id] {
            QHostInfo::abortHostLookup(id);
            once(HostAnswer::NoAnswer);
        });
    };
}

}  // namespace

Kind kindForStatus(int status)
{
    if (status >= 200 && status < 300)
        return Kind::Ok;
    if (status == 404 || status == 410)
        return Kind::Dead;
    return Kind::Unknown;
}

bool retryWithGet(int status)
{
    return status == 405 || status == 501 || status == 403 || status == 404;
}

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

qint64 retryAfterSeconds(const QByteArray& value, const QDateTime& now)
{
    const QByteArray trimmed = value.trimmed();
    // A server's number is taken in 64 bits and capped: a bigger wait is given up on all the same.
    if (!trimmed.isEmpty() && std::all_of(trimmed.begin(), trimmed.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return trimmed.size() > 12 ? longestRetryAfter : std::min(trimmed.toLongLong(), longestRetryAfter);
    // An HTTP date names its zone "GMT", which Qt's RFC 2822 reader does not take.
    QString date = QString::fromLatin1(trimmed);
    if (date.endsWith(QLatin1String(" GMT")))
        date = date.chopped(4) + QLatin1String(" +0000");
    const QDateTime when = QDateTime::fromString(date, Qt::RFC2822Date);
    if (!when.isValid())
        return -1;
    return std::clamp<qint64>(now.secsTo(when), 0, longestRetryAfter);
}

QUrl redirectTarget(const QUrl& from, const QByteArray& location)
{
    if (location.isEmpty())
        return {};
    return from.resolved(QUrl::fromEncoded(location, QUrl::TolerantMode));
}

std::string notCheckedReason(const std::string& address)
{
    if (address.empty())
        return "The item has no address";
    if (address.size() > longestCheckedAddress)
        return "The address is " + std::to_string(address.size())
               + " characters long; servers refuse addresses"
                 " of more than "
               + std::to_string(longestCheckedAddress);
    const std::string scheme = targetScheme(address);
    if (scheme.empty())
        return "Not a web address";
    if (scheme != "http" && scheme != "https")
        return "A " + scheme + ": address is not fetched";
    const QUrl url = QUrl::fromEncoded(QByteArray::fromStdString(address), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return "Not a valid web address";
    return {};
}

LinkChecker::LinkChecker(LinkCheckLimits checkLimits, Progress& checkProgress, QObject* parent)
    : QObject(parent), limits(checkLimits), progress(checkProgress)
{
    qRegisterMetaType<check::LinkResult>();
    watch.setInterval(watchEveryMs);
    connect(&watch, &QTimer::timeout, this, [this] { keepGoing(); });
    // http_proxy, https_proxy and no_proxy, as the desktop's own tools honour them.
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    network.setAutoDeleteReplies(false);
    network.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    if (!limits.lookUpHost)
        limits.lookUpHost = systemLookup(this, limits.timeoutMs);
}

LinkChecker::~LinkChecker()
{
    cancel();
}

bool LinkChecker::idle() const
{
    return outstanding == 0;
}

void LinkChecker::enqueue(int id, const std::string& address)
{
    auto job = std::make_unique<Job>();
    job->id = id;
    job->url = QUrl::fromEncoded(QByteArray::fromStdString(address), QUrl::TolerantMode);
    add(std::move(job));
}

void LinkChecker::fetch(int id, const std::string& address)
{
    auto job = std::make_unique<Job>();
    job->id = id;
    job->url = QUrl::fromEncoded(QByteArray::fromStdString(address), QUrl::TolerantMode);
    job->fetchBody = job->useGet = true;
    add(std::move(job));
}

void LinkChecker::add(std::unique_ptr<Job> job)
{
    job->hostKey = job->url.host().toLower() + QLatin1Char(':')
                   + QString::number(job->url.port(job->url.scheme() == QLatin1String("https") ? 443 : 80));
    job->visited.insert(job->url.toString(QUrl::FullyEncoded));
    cancelled = false;
    ++outstanding;
    ++enqueued;
    watch.start();
    const QString name = job->url.host().toLower();
    HostName& host = names[name];
    if (host.answer == HostAnswer::Resolves) {
        queueForHost(std::move(job));
        return;
    }
    const QUrl url = job->url;
    host.held.push_back(std::move(job));
    if (host.answer)
        QMetaObject::invokeMethod(
            this, [this, name] { applyAnswer(name); }, Qt::QueuedConnection);
    else if (!host.asked)
        askAbout(name, url);
}

// Addresses and names a proxy resolves need no lookup of ours.
void LinkChecker::askAbout(const QString& name, const QUrl& url)
{
    HostName& host = names[name];
    host.asked = true;
    const QList<QNetworkProxy> proxies = QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(url));
    const bool proxied = !proxies.isEmpty() && proxies.first().type() != QNetworkProxy::NoProxy;
    if (proxied || !QHostAddress(name).isNull() || name.isEmpty()) {
        host.answer = HostAnswer::Resolves;
        QMetaObject::invokeMethod(
            this, [this, name] { applyAnswer(name); }, Qt::QueuedConnection);
        return;
    }
    lookupQueue.push_back(name);
    startLookups();
}

// At most `total` lookups at once, so that none waits out its time behind the others.
void LinkChecker::startLookups()
{
    while (lookingUp < limits.total && !lookupQueue.empty()) {
        const QString name = lookupQueue.front();
        lookupQueue.pop_front();
        ++lookingUp;
        QPointer<LinkChecker> self(this);
        // Heard from the event loop, even when the answer comes at once: links never settle inside
        // enqueue().
        limits.lookUpHost(name, [self, name](HostAnswer answer) {
            if (!self)
                return;
            QMetaObject::invokeMethod(
                self,
                [self, name, answer] {
                    --self->lookingUp;
                    self->names[name].answer = answer;
                    self->applyAnswer(name);
                    self->startLookups();
                },
                Qt::QueuedConnection);
        });
    }
}

void LinkChecker::applyAnswer(const QString& name)
{
    HostName& host = names[name];
    if (!host.answer || host.held.empty())
        return;
    std::vector<std::unique_ptr<Job>> held = std::move(host.held);
    host.held.clear();
    const HostAnswer answer = *host.answer;
    for (std::unique_ptr<Job>& job : held) {
        if (cancelled)
            return;
        if (answer == HostAnswer::Resolves) {
            queueForHost(std::move(job));
            continue;
        }
        const LinkResult result = answerResult(answer, *job);
        --outstanding;
        ++settled;
        report(job->id, result);
    }
}

LinkResult LinkChecker::answerResult(HostAnswer answer, const Job& job) const
{
    LinkResult result;
    result.kind = answer == HostAnswer::DoesNotResolve ? Kind::Dead : Kind::Unknown;
    result.detail = answer == HostAnswer::DoesNotResolve
                        ? "The host name " + job.url.host().toStdString() + " does not resolve"
                        : "No answer within " + std::to_string(limits.timeoutMs / 1000) + " s when looking up "
                              + job.url.host().toStdString();
    return result;
}

void LinkChecker::queueForHost(std::unique_ptr<Job> job)
{
    Host& host = hosts[job->hostKey];
    host.waiting.push_back(std::move(job));
    if (!host.queued && host.active < limits.perHost) {
        host.queued = true;
        readyHosts.push_back(host.waiting.back()->hostKey);
    }
    QMetaObject::invokeMethod(this, &LinkChecker::schedule, Qt::QueuedConnection);
}

bool LinkChecker::keepGoing()
{
    if (outstanding == 0 || progress.advance(settled, enqueued))
        return true;
    cancel();
    return false;
}

void LinkChecker::cancel()
{
    watch.stop();
    if (outstanding == 0)
        return;
    cancelled = true;
    hosts.clear();
    readyHosts.clear();
    for (auto& [name, host] : names)
        host.held.clear();
    outstanding = 0;
    active = 0;
    for (auto& [holder, job] : inFlight) {
        holder->disconnect(this);
        if (auto* reply = qobject_cast<QNetworkReply*>(holder))
            reply->abort();
        holder->deleteLater();
    }
    inFlight.clear();
    emit allChecked();
}

void LinkChecker::schedule()
{
    while (!cancelled && active < limits.total && !readyHosts.empty()) {
        const QString key = readyHosts.front();
        readyHosts.pop_front();
        Host& host = hosts[key];
        host.queued = false;
        if (host.waiting.empty() || host.active >= limits.perHost)
            continue;
        std::unique_ptr<Job> job = std::move(host.waiting.front());
        host.waiting.pop_front();
        ++host.active;
        ++active;
        if (!host.waiting.empty() && host.active < limits.perHost) {
            host.queued = true;
            readyHosts.push_back(key);
        }
        start(std::move(job));
    }
}

void LinkChecker::start(std::unique_ptr<Job> job)
{
    QNetworkRequest request(job->url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArrayLiteral("Varnelo link check"));
    QNetworkReply* reply = job->useGet ? network.get(request) : network.head(request);
    if (job->fetchBody) {
        const qint64 largest = limits.largestBody;
        auto tooLarge = [reply, largest] {
            const QVariant declared = reply->header(QNetworkRequest::ContentLengthHeader);
            if (reply->bytesAvailable() > largest || (declared.isValid() && declared.toLongLong() > largest)) {
                reply->setProperty(tooLargeProperty, true);
                QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
            }
        };
        connect(reply, &QNetworkReply::metaDataChanged, reply, tooLarge);
        connect(reply, &QIODevice::readyRead, reply, tooLarge);
    } else {
        reply->setReadBufferSize(readBuffer);
    }
    auto* timer = new QTimer(reply);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, reply, [reply] {
        reply->setProperty(timedOutProperty, true);
        reply->abort();
    });
    timer->start(limits.timeoutMs);
    if (job->useGet && !job->fetchBody)
        connect(reply, &QNetworkReply::metaDataChanged, reply, [reply] {
            if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) {
                reply->setProperty(headersSeenProperty, true);
                QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
            }
        });
    connect(reply, &QNetworkReply::sslErrors, reply, [reply](const QList<QSslError>& errors) {
        QStringList texts;
        for (const QSslError& error : errors)
            texts << error.errorString();
        reply->setProperty(tlsErrorsProperty, texts.join(QStringLiteral("; ")));
    });
    inFlight[reply] = std::move(job);
    connect(
        reply, &QNetworkReply::finished, this, [this, reply] { onFinished(reply); }, Qt::QueuedConnection);
}

LinkResult LinkChecker::networkFailure(QNetworkReply* reply, const Job& job) const
{
    LinkResult result;
    const QString tls = reply->property(tlsErrorsProperty).toString();
    if (reply->property(tooLargeProperty).toBool()) {
        result.kind = Kind::Unknown;
        result.detail = "The answer is larger than " + std::to_string(limits.largestBody / (1024 * 1024)) + " MB";
    } else if (reply->property(timedOutProperty).toBool()) {
        result.kind = Kind::Unknown;
        result.detail = "No answer within " + std::to_string(limits.timeoutMs / 1000) + " s";
    } else if (!tls.isEmpty() || reply->error() == QNetworkReply::SslHandshakeFailedError) {
        result.kind = Kind::Tls;
        result.detail = "The secure connection failed: " + (tls.isEmpty() ? reply->errorString() : tls).toStdString();
    } else if (reply->error() == QNetworkReply::HostNotFoundError) {
        result.kind = Kind::Dead;
        result.detail = "The host name " + job.url.host().toStdString() + " does not resolve";
    } else if (reply->error() == QNetworkReply::ConnectionRefusedError) {
        result.kind = Kind::Dead;
        result.detail = "The connection was refused";
    } else {
        result.kind = Kind::Unknown;
        result.detail = reply->errorString().toStdString();
    }
    if (job.redirects > 0)
        result.detail += " (after a redirect to " + text(job.url) + ")";
    return result;
}

std::unique_ptr<LinkChecker::Job> LinkChecker::takeJob(QObject* holder)
{
    const auto place = inFlight.find(holder);
    if (place == inFlight.end())
        return nullptr;
    std::unique_ptr<Job> job = std::move(place->second);
    inFlight.erase(place);
    holder->deleteLater();
    return job;
}

void LinkChecker::onFinished(QNetworkReply* reply)
{
    std::unique_ptr<Job> job = takeJob(reply);
    if (!job || cancelled)
        return;
    const QVariant statusAttribute = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!statusAttribute.isValid() || reply->property(tooLargeProperty).toBool()) {
        LinkResult failure = networkFailure(reply, *job);
        settle(std::move(job), std::move(failure));
        return;
    }
    const int status = statusAttribute.toInt();
    LinkResult result;
    result.code = status;
    if (isRedirect(status)) {
        const QUrl next = redirectTarget(job->url, reply->rawHeader("Location"));
        result.kind = Kind::Unknown;
        if (!next.isValid()) {
            result.detail = statusText(reply, status) + " without a new address";
        } else if (++job->redirects > limits.maxRedirects) {
            result.detail = "More than " + std::to_string(limits.maxRedirects) + " redirects";
        } else if (job->visited.contains(next.toString(QUrl::FullyEncoded))) {
            result.detail = "The redirects go round in a loop (back to " + text(next) + ")";
        } else if (next.scheme() != QLatin1String("http") && next.scheme() != QLatin1String("https")) {
            result.detail = "Redirected to " + text(next) + ", which is not a web address";
        } else {
            if (isPermanentRedirect(status) && job->allPermanent)
                job->permanentTarget = next;
            else
                job->allPermanent = false;
            job->visited.insert(next.toString(QUrl::FullyEncoded));
            job->url = next;
            job->useGet = job->fetchBody;
            start(std::move(job));
            return;
        }
        settle(std::move(job), result);
        return;
    }
    if (!job->useGet && retryWithGet(status)) {
        job->headStatus = status;
        job->useGet = true;
        start(std::move(job));
        return;
    }
    if (status == 429 || status == 503) {
        const qint64 wait = retryAfterSeconds(reply->rawHeader("Retry-After"), QDateTime::currentDateTimeUtc());
        if (!job->retried && wait >= 0 && wait * 1000 <= limits.longestRetryWaitMs) {
            job->retried = true;
            job->useGet = job->fetchBody;
            // The host's slot stays taken while it asked us to wait.
            auto* timer = new QTimer(this);
            timer->setSingleShot(true);
            inFlight[timer] = std::move(job);
            connect(timer, &QTimer::timeout, this, [this, timer] {
                if (std::unique_ptr<Job> waited = takeJob(timer))
                    start(std::move(waited));
            });
            timer->start(static_cast<int>(wait * 1000));
            return;
        }
        result.kind = Kind::Unknown;
        result.detail = "The server is busy (" + statusText(reply, status) + ")"
                        + (wait >= 0 ? "; it asks to come back in " + std::to_string(wait) + " s" : std::string());
        settle(std::move(job), result);
        return;
    }
    result.kind = kindForStatus(status);
    if (job->fetchBody && status >= 200 && status < 300)
        takeBody(reply, *job, result);
    if (result.kind == Kind::Ok && job->permanentTarget.isValid()) {
        result.kind = Kind::Moved;
        result.newTarget = text(job->permanentTarget);
        result.detail = "Moved permanently to " + result.newTarget;
    } else if (result.kind != Kind::Ok) {
        result.detail = statusText(reply, status);
        if (job->headStatus != 0 && job->headStatus != status)
            result.detail += " (HEAD answered " + std::to_string(job->headStatus) + ")";
        if (job->redirects > 0)
            result.detail += " after a redirect to " + text(job->url);
    }
    settle(std::move(job), result);
}

void LinkChecker::takeBody(QNetworkReply* reply, const Job& job, LinkResult& result)
{
    result.body = reply->readAll().toStdString();
    result.contentType = reply->header(QNetworkRequest::ContentTypeHeader).toString().toStdString();
    result.finalAddress = text(job.url);
}

void LinkChecker::settle(std::unique_ptr<Job> job, LinkResult result)
{
    release(job->hostKey);
    --outstanding;
    ++settled;
    report(job->id, result);
}

void LinkChecker::report(int id, const LinkResult& result)
{
    emit checked(id, result);
    if (cancelled || !keepGoing())
        return;
    schedule();
    if (outstanding == 0) {
        watch.stop();
        emit allChecked();
    }
}

void LinkChecker::release(const QString& hostKey)
{
    --active;
    Host& host = hosts[hostKey];
    --host.active;
    if (!host.waiting.empty() && !host.queued) {
        host.queued = true;
        readyHosts.push_back(hostKey);
    } else if (host.waiting.empty() && host.active == 0) {
        hosts.erase(hostKey);
    }
}

}  // namespace check
