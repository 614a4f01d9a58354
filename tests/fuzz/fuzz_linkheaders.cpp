// SPDX-License-Identifier: GPL-3.0-or-later
// The headers a server answers the link check with, as the check reads them: the first line is a
// Retry-After value, the rest a redirect's Location. The wait is never negative past "unreadable"
// and never more than the cap, so a caller's milliseconds stay in range; any Location resolves
// against the address asked about without a crash.

#include "fuzzsupport.h"

#include "check/linkchecker.h"

#include <QByteArray>
#include <QDateTime>
#include <QUrl>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray answer(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype lineEnd = answer.indexOf('\n');
    const QByteArray retryAfter = lineEnd < 0 ? answer : answer.left(lineEnd);
    const QByteArray location = lineEnd < 0 ? QByteArray() : answer.mid(lineEnd + 1);

    static const QDateTime now = QDateTime::fromSecsSinceEpoch(1796884200, Qt::UTC);
    const qint64 wait = check::retryAfterSeconds(retryAfter, now);
    FUZZ_CHECK(wait >= -1 && wait <= check::longestRetryAfter);

    static const QUrl asked(QStringLiteral("http://127.0.0.1:8080/a/b?c=d"));
    const QUrl next = check::redirectTarget(asked, location);
    FUZZ_CHECK(!location.isEmpty() || !next.isValid());
    if (next.isValid())
        next.toString(QUrl::FullyEncoded);
    return 0;
}
