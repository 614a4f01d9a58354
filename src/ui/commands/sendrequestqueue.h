// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QObject>

#include <functional>
#include <vector>

class CatalogueView;
class QWidget;

// Pages sent to Varnelo ("send to Varnelo", or a page firing the scheme in a loop) are shown one at a
// time. Those that come while one is shown are gathered, and the user chooses whether to see them; past
// a small number a burst is refused with one message, so no page can stack up dialogs without end.
class SendRequestQueue : public QObject {
    Q_OBJECT
public:
    using Show = std::function<void(const QByteArray& request)>;

    SendRequestQueue(CatalogueView& view, QWidget* window, Show show, QObject* parent = nullptr);

    void receive(const QByteArray& request);

    // How many requests wait at most while one is shown; more are refused.
    static constexpr std::size_t maxGathered = 10;

private:
    void showFrom(const QByteArray& first);
    // The message about a burst's refused requests, once; then whether to show those gathered.
    bool gatheredWanted();

    CatalogueView& view;
    QWidget* window;
    Show show;
    bool showing = false;
    std::vector<QByteArray> gathered;
    std::size_t refused = 0;
};
