// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/find/quickfind.h"

#include "session/worker.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QRegularExpression>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTextLayout>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

#include <utility>

namespace {

bool sameIgnoringAsciiCase(QChar a, QChar b)
{
    const auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
    return fold(a.unicode()) == fold(b.unicode());
}

// The keyword's runs between wildcards: what is marked in the hits.
QStringList literalRuns(const QString& keyword)
{
    return keyword.split(QRegularExpression(QStringLiteral("[%_]")), Qt::SkipEmptyParts);
}

// Where the runs stand in the text, compared as the search compares them.
QVariantList matchedSpans(const QString& text, const QStringList& runs)
{
    QVariantList spans;
    for (const QString& run : runs) {
        for (qsizetype at = 0; at + run.size() <= text.size();) {
            qsizetype i = 0;
            while (i < run.size() && sameIgnoringAsciiCase(text[at + i], run[i]))
                ++i;
            if (i == run.size()) {
                spans.append(QPoint(int(at), int(run.size())));
                at += run.size();
            } else {
                ++at;
            }
        }
    }
    return spans;
}

// Draws a cell's text with the matched parts marked.
class MatchDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QVariantList spans = index.data(QuickFind::MatchRole).toList();
        if (spans.isEmpty()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem cell = option;
        initStyleOption(&cell, index);
        const QString text = cell.text;
        cell.text.clear();
        QStyle* style = cell.widget ? cell.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, cell.widget);
        const QRect area = style->subElementRect(QStyle::SE_ItemViewItemText, &cell, cell.widget).adjusted(3, 0, -3, 0);

        QList<QTextLayout::FormatRange> marks;
        for (const QVariant& span : spans) {
            QTextLayout::FormatRange mark;
            mark.start = span.toPoint().x();
            mark.length = span.toPoint().y();
            mark.format.setFontWeight(QFont::Bold);
            mark.format.setBackground(QColor(255, 226, 120));
            mark.format.setForeground(QColor(Qt::black));
            marks.append(mark);
        }
        QTextLayout layout(text, cell.font);
        layout.setFormats(marks);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        line.setNumColumns(int(text.size()));
        layout.endLayout();
        painter->save();
        painter->setClipRect(area);
        const bool selected = cell.state & QStyle::State_Selected;
        painter->setPen(cell.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        layout.draw(painter, QPointF(area.left(), area.top() + (area.height() - line.height()) / 2));
        painter->restore();
    }
};

QString thousands(int number)
{
    return QLocale().toString(number);
}

}  // namespace

QuickFind::QuickFind(QToolBar* toolbar, QStatusBar* status, QSplitter* splitter, int listIndex, QObject* parent)
    : QObject(parent)
{
    auto* stretch = new QWidget(toolbar);
    stretch->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolbar->addWidget(stretch);
    field = new QLineEdit(toolbar);
    field->setObjectName(QStringLiteral("QuickFind"));
    field->setAccessibleName(QStringLiteral("Quick find"));
    field->setPlaceholderText(QStringLiteral("Quick find (Ctrl+K)"));
    field->setToolTip(QStringLiteral("Find items by title, target and description as you type"));
    field->setClearButtonEnabled(true);
    for (QToolButton* clear : field->findChildren<QToolButton*>())
        clear->setAccessibleName(QStringLiteral("Clear quick find"));
    // Narrower rather than out of sight in the toolbar's overflow, where Ctrl+K would type into nothing.
    field->setMinimumWidth(120);
    field->setMaximumWidth(240);
    field->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    toolbar->addWidget(field);
    field->installEventFilter(this);

    QWidget* window = toolbar->window();
    for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::Key_K), QKeySequence(Qt::Key_Slash)}) {
        // A field being typed in takes "/" as text before any shortcut sees it.
        auto* shortcut = new QShortcut(keys, window);
        connect(shortcut, &QShortcut::activated, this, [this, toolbar] {
            const auto reach = [this] {
                field->setFocus(Qt::ShortcutFocusReason);
                field->selectAll();
            };
            auto* more = toolbar->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button"));
            if (field->isVisible() || !more) {
                reach();
                return;
            }
            // In a window too narrow for the whole toolbar the field waits in its overflow, which
            // opens with the next layout pass.
            more->click();
            QTimer::singleShot(0, field, reach);
        });
    }

    results = new QTreeWidget;
    results->setObjectName(QStringLiteral("listQuickFind"));
    results->setAccessibleName(QStringLiteral("Quick find results"));
    results->setColumnCount(3);
    results->setHeaderLabels({QStringLiteral("Title"), QStringLiteral("Category"), QStringLiteral("Target")});
    results->setRootIsDecorated(false);
    results->setUniformRowHeights(true);
    results->setAllColumnsShowFocus(true);
    results->setSelectionMode(QAbstractItemView::SingleSelection);
    results->setEditTriggers(QAbstractItemView::NoEditTriggers);
    results->setContextMenuPolicy(Qt::CustomContextMenu);
    results->setItemDelegate(new MatchDelegate(results));
    results->header()->setSectionsMovable(false);
    results->setColumnWidth(0, 220);
    results->setColumnWidth(1, 160);
    results->installEventFilter(this);
    connect(results, &QTreeWidget::itemDoubleClicked, this, &QuickFind::openSelected);
    connect(results, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (QTreeWidgetItem* row = results->itemAt(at)) {
            results->setCurrentItem(row);
            if (const QuickFindHit* hit = selectedHit())
                emit popupRequested(*hit, results->viewport()->mapToGlobal(at));
        }
    });

    area = new QStackedWidget;
    area->setObjectName(QStringLiteral("listArea"));
    QWidget* list = splitter->replaceWidget(listIndex, area);
    area->addWidget(list);
    area->addWidget(results);
    area->setCurrentIndex(0);

    count = new QLabel;
    count->setObjectName(QStringLiteral("QuickFindCount"));
    status->addPermanentWidget(count);
    count->hide();

    pause = new QTimer(this);
    pause->setSingleShot(true);
    pause->setInterval(pauseMs);
    connect(pause, &QTimer::timeout, this, &QuickFind::startQuery);
    connect(field, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (text.isEmpty())
            leave();
        else
            pause->start();
    });
}

QuickFind::~QuickFind()
{
    ++*newest;
}

void QuickFind::followInTabChain(QWidget* previous)
{
    QWidget::setTabOrder(previous, field);
    QWidget::setTabOrder(field, results);
}

bool QuickFind::active() const
{
    return area->currentWidget() == results || !field->text().isEmpty();
}

void QuickFind::setCatalogue(const std::string& cataloguePath, const std::string& indexPath)
{
    ++*newest;
    worker.reset();
    queries.reset();
    if (cataloguePath.empty() || indexPath.empty())
        return;
    worker = std::make_unique<Worker>(nullptr);
    queries = std::make_shared<QuickFindQueries>(cataloguePath, indexPath, newest);
    // Ready before the first key comes, but not before the window is up.
    QTimer::singleShot(prepareAfterMs, this, [this, prepared = queries] {
        if (queries == prepared)
            worker->start<bool>([prepared](Progress&) {
                prepared->prepare();
                return true;
            });
    });
}

void QuickFind::startQuery()
{
    const QString keyword = field->text();
    if (keyword.isEmpty() || !worker)
        return;
    const quint64 generation = ++*newest;
    worker->start<QuickFindAnswer>(
        [queries = queries, generation, keyword](Progress&) { return queries->find(generation, keyword); },
        [this, keyword](const QuickFindAnswer& answer) {
            showHits(answer);
            if (answer.total >= 0 || answer.overtaken || answer.generation != *newest)
                return;
            worker->start<int>([queries = queries, generation = answer.generation,
                                keyword](Progress&) { return queries->count(generation, keyword); },
                               [this, generation = answer.generation](const int& total) {
                                   if (total >= 0)
                                       showCount(generation, total);
                               });
        });
}

void QuickFind::refresh()
{
    if (!field->text().isEmpty())
        startQuery();
}

void QuickFind::showHits(const QuickFindAnswer& answer)
{
    if (answer.overtaken || answer.generation != *newest || field->text().isEmpty())
        return;
    hits = answer.hits;
    const QStringList runs = literalRuns(field->text());
    results->setUpdatesEnabled(false);
    results->clear();
    QList<QTreeWidgetItem*> rows;
    rows.reserve(hits.size());
    for (const QuickFindHit& hit : hits) {
        auto* row = new QTreeWidgetItem({hit.title, hit.categoryPath, hit.target});
        row->setData(0, MatchRole, matchedSpans(hit.title, runs));
        row->setData(2, MatchRole, matchedSpans(hit.target, runs));
        row->setToolTip(2, hit.target);
        rows.append(row);
    }
    results->addTopLevelItems(rows);
    if (!rows.isEmpty())
        results->setCurrentItem(rows.first());
    results->setUpdatesEnabled(true);
    area->setCurrentWidget(results);
    count->show();
    showCount(answer.generation, answer.total);
    if (std::exchange(openOnArrival, false))
        openSelected();
}

void QuickFind::showCount(quint64 generation, int total)
{
    if (generation != *newest)
        return;
    shownTotal = total;
    if (total < 0)
        count->setText(QStringLiteral("First %1 items shown; counting...").arg(thousands(int(hits.size()))));
    else if (total > hits.size())
        count->setText(QStringLiteral("First %1 of %2 items shown").arg(thousands(int(hits.size())), thousands(total)));
    else
        count->setText(total == 1 ? QStringLiteral("1 item found")
                                  : QStringLiteral("%1 items found").arg(thousands(total)));
}

void QuickFind::leave()
{
    ++*newest;
    pause->stop();
    openOnArrival = false;
    hits.clear();
    results->clear();
    count->hide();
    if (!field->text().isEmpty()) {
        const QSignalBlocker quiet(field);
        field->clear();
    }
    const bool wasShowing = area->currentWidget() == results;
    area->setCurrentIndex(0);
    if (wasShowing)
        emit left();
}

const QuickFindHit* QuickFind::selectedHit() const
{
    const int row = results->indexOfTopLevelItem(results->currentItem());
    return row >= 0 && row < hits.size() ? &hits[row] : nullptr;
}

void QuickFind::openSelected()
{
    if (const QuickFindHit* hit = selectedHit())
        emit openRequested(*hit);
}

bool QuickFind::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Escape && (watched == field || watched == results)) {
        leave();
        field->setFocus();
        return true;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        // Typed and pressed Enter before the pause ended: the first hit of what was typed is opened.
        if (watched == field && pause->isActive()) {
            openOnArrival = true;
            pause->stop();
            startQuery();
            return true;
        }
        openSelected();
        return true;
    }
    if (watched == field && key == Qt::Key_Down && results->topLevelItemCount() > 0
        && area->currentWidget() == results) {
        results->setFocus();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
