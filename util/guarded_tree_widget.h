#pragma once

#include <QTreeWidget>

#include <functional>

class TGuardedSelectionModel;

// A tree or report list whose current row moves only when a gate agrees (see
// TGuardedSelectionModel). Qt's own currentItemChanged stays tied to the
// view's first selection model, so moves are announced by currentNodeChanged.
class TGuardedTreeWidget : public QTreeWidget
{
    Q_OBJECT
public:
    explicit TGuardedTreeWidget(QWidget *parent = nullptr);

    // Asked before the current row moves; false keeps it where it is.
    using ChangingGate = std::function<bool(QTreeWidgetItem *from, QTreeWidgetItem *to)>;
    void SetChangingGate(ChangingGate gate);

signals:
    void currentNodeChanged(QTreeWidgetItem *current, QTreeWidgetItem *previous);
    // The selection changed; `selected` is the selected row, or null.
    void selectedNodeChanged(QTreeWidgetItem *selected);

protected:
    // A press that is held and dragged does not walk the selection over the
    // rows it passes: each of them would ask the gate.
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    TGuardedSelectionModel *m_guard = nullptr;
};
