// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/find/quickfind.h"

#include "session/worker.h"
#include "storage/textfolding.h"

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

#include <algorithm>
#include <utility>

namespace {

// A text folded as quick find compares it, with the span of the original each folded unit came from.
struct FoldedText {
    QString text;
    QList<int> from, to;
};

FoldedText folded(const QString& text)
{
    FoldedText out;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype width = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const char16_t unit = text[i].unicode();
        const QString piece = unit < 0x80 ? QString(QChar(unit >= u'A' && unit <= u'Z' ? char16_t(unit + 32) : unit))
                                          : QString::fromStdString(foldText(text.mid(i, width).toStdString()));
        for (QChar c : piece) {
            out.text += c;
            out.from.append(int(i));
            out.to.append(int(i + width));
        }
        i += width;
    }
    return out;
}

// The keyword's runs between wildcards, folded: what is marked in the hits.
QStringList literalRuns(const QString& keyword)
{
    QStringList runs;
    for (const QString& run : keyword.split(QRegularExpression(QStringLiteral("[%_]")), Qt::SkipEmptyParts))
        if (const QString foldedRun = folded(run).text; !foldedRun.isEmpty())
            runs.append(foldedRun);
    return runs;
}

}  // namespace

// Where the runs stand in the text, compared folded as the search compares them.
QVariantList QuickFind::matchedSpans(const QString& text, const QStringList& runs)
{
    const FoldedText foldedText = folded(text);
    QVariantList spans;
    for (const QString& run : runs) {
        for (qsizetype at = foldedText.text.indexOf(run); at >= 0; at = foldedText.text.indexOf(run, at + run.size())) {
            const int start = foldedText.from[at];
            spans.append(QPoint(start, foldedText.to[at + run.size() - 1] - start));
        }
    }
    return spans;
}

namespace {

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
    results->setColumnCount(4);
    results->setHeaderLabels(
        {QStringLiteral("Title"), QStringLiteral("Category"), QStringLiteral("Target"), QStringLiteral("Found")});
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
    results->setColumnWidth(2, 220);
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
        if (text.isEmpty()) {
            leave();
        } else {
            emit typing();
            pause->start();
        }
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

void QuickFind::setCatalogue(const std::string& cataloguePath, const std::string& indexPath,
                             const std::string& contentIndexPath)
{
    ++*newest;
    worker.reset();
    queries.reset();
    if (cataloguePath.empty() || indexPath.empty())
        return;
    worker = std::make_unique<Worker>(nullptr);
    queries = std::make_shared<QuickFindQueries>(cataloguePath, indexPath, contentIndexPath, newest);
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
        const QVariantList inTitle = hit.byContent ? QVariantList() : matchedSpans(hit.title, runs);
        const QVariantList inTarget = hit.byContent ? QVariantList() : matchedSpans(hit.target, runs);
        row->setData(0, MatchRole, inTitle);
        row->setData(2, MatchRole, inTarget);
        row->setToolTip(2, hit.target);
        showWhereFound(*row, hit, runs, inTitle.isEmpty() && inTarget.isEmpty());
        rows.append(row);
    }
    results->addTopLevelItems(rows);
    if (!rows.isEmpty())
        results->setCurrentItem(rows.first());
    results->setUpdatesEnabled(true);
    if (area->currentWidget() != results) {
        area->setCurrentWidget(results);
        emit hitsShown(true);
    }
    count->show();
    showCount(answer.generation, answer.total);
    if (std::exchange(openOnArrival, false))
        openSelected();
}

// The "Found" cell: for a hit in the description alone, the passage of the description that holds
// the words; for a hit inside its document, the indexed passage and its page.
void QuickFind::showWhereFound(QTreeWidgetItem& row, const QuickFindHit& hit, const QStringList& runs,
                               bool notInTitleOrTarget)
{
    QString passage;
    QVariantList marks;
    if (hit.byContent) {
        const QString page = hit.page > 0 ? QStringLiteral("p. %1: ").arg(hit.page) : QString();
        passage = page + hit.snippet;
        for (const QPoint& mark : hit.snippetMarks)
            marks.append(QPoint(mark.x() + int(page.size()), mark.y()));
    } else if (notInTitleOrTarget && !hit.description.isEmpty()) {
        passage = excerpt(hit.description, runs);
        marks = matchedSpans(passage, runs);
    }
    row.setText(3, passage);
    row.setData(3, MatchRole, marks);
    row.setToolTip(3, hit.byContent ? passage : hit.description);
}

// About a line of the text around the first place that holds the words, on one line.
QString QuickFind::excerpt(const QString& text, const QStringList& runs)
{
    constexpr int before = 30, length = 120;
    QString line = text;
    line.replace(QRegularExpression(QStringLiteral("\\s")), QStringLiteral(" "));
    const QVariantList spans = matchedSpans(line, runs);
    const int at = spans.isEmpty() ? 0 : spans.first().toPoint().x();
    const int from = std::max(0, at - before);
    QString cut = line.mid(from, length);
    if (from > 0)
        cut.prepend(QChar(0x2026));
    if (from + length < line.size())
        cut.append(QChar(0x2026));
    return cut;
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
    if (wasShowing) {
        emit hitsShown(false);
        emit left();
    }
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
