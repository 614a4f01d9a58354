// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QUrl>

#include <string>

class QWidget;

// The desktop services the program uses: opening a target, choosing a program for it, showing a
// file in its folder, opening a link. Every caller goes through instance(), so tests can put a fake
// in place and no test ever starts a program. Failures are the desktop's to report; nothing here
// shows a message of its own except the chooser.
class Desktop {
public:
    Desktop() = default;
    virtual ~Desktop();
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    virtual void openTarget(const std::string& target, int type);
    virtual void openWith(const std::string& target, int type, QWidget* parent);
    virtual void showInFolder(const std::string& path);
    virtual void openUrl(const QUrl& url);

    static Desktop& instance();
    // Points at a replacement (not owned); nullptr restores the real desktop.
    static void setInstance(Desktop* replacement);
};
