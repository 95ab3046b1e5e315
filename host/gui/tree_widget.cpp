#include "tree_widget.hpp"

#include <QApplication>
#include <QMouseEvent>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>
#include <QScrollBar>

#include "artwork.hpp"
#include "front_end.hpp"
#include "help_window.hpp"
#include "key_map.hpp"
#include "services/cube.hpp"
#include "toolkit/controls.hpp"
#include "toolkit/form.hpp"
#include "toolkit/input.hpp"
#include "toolkit/tree_view.hpp"

namespace {

TMouseButton buttonOf(Qt::MouseButton b) {
    return b == Qt::RightButton ? TMouseButton::mbRight : b == Qt::MiddleButton ? TMouseButton::mbMiddle : TMouseButton::mbLeft;
}

}  // namespace

TreeWidget::TreeWidget(FrontEnd& frontEnd, TTreeView* tree, QWidget* parent)
    : QWidget(parent), frontEnd_(frontEnd), tree_(tree), bar_(new QScrollBar(Qt::Vertical, this)) {
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(false);
    setObjectName(QString::fromStdString(tree->Name));
    bar_->hide();
    connect(bar_, &QScrollBar::valueChanged, this, [this](int v) {
        if (tree_ && v != tree_->TopRow()) {
            tree_->SetTopRow(v);
            update();
        }
    });
}

int TreeWidget::rowsShown() const { return std::max(1, height() / TTreeView::RowHeight); }

int TreeWidget::contentLeft(const TTreeNode* node) const {
    // One indent per level, and one more for the expand buttons when the top level shows them.
    int level = node->Level();
    return 2 + tree_->Indent * level + (tree_->ShowRoot && tree_->ShowButtons ? tree_->Indent : 0);
}

TTreeNode* TreeWidget::buttonAt(QPoint p) const {
    if (!tree_ || !tree_->ShowButtons) return nullptr;
    TTreeNode* n = tree_->GetNodeAt(p.x(), p.y());
    if (!n || !n->HasChildren() || (n->Level() == 0 && !tree_->ShowRoot)) return nullptr;
    int left = contentLeft(n) - tree_->Indent;
    return p.x() >= left && p.x() < left + tree_->Indent ? n : nullptr;
}

QPoint TreeWidget::PointOf(const TTreeNode* node) {
    int x = 0, y = 0;
    PointOfNode(tree_, const_cast<TTreeNode*>(node), x, y);
    Sync();
    return {contentLeft(node) + 20, y};
}

void TreeWidget::Sync() {
    if (!tree_) return;
    tree_->Height = height();
    tree_->Width = width();
    int rows = static_cast<int>(tree_->VisibleNodes().size());
    if (rows > rowsShown()) {
        bar_->setGeometry(width() - 16, 0, 16, height());
        bar_->setRange(0, rows - rowsShown());
        bar_->setPageStep(rowsShown());
        bar_->setValue(tree_->TopRow());
        bar_->show();
    } else {
        if (tree_->TopRow() != 0) tree_->SetTopRow(0);
        bar_->hide();
    }
    update();
}

void TreeWidget::resizeEvent(QResizeEvent*) { Sync(); }

void TreeWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!tree_) return;
    // A silver list read as disabled: the dimension list is drawn on the window colour instead.
    p.fillRect(rect(), SystemColor(tree_->Color == "clSilver" ? "clWindow" : tree_->Color));
    p.setFont(ScreenFont(tree_->Font));
    std::vector<TTreeNode*> rows = tree_->VisibleNodes();
    TImageList* images = tree_->Images;
    bool focused = hasFocus();
    int textRight = bar_->isVisible() ? width() - 16 : width();
    for (int i = 0; i < rowsShown() + 1; ++i) {
        size_t index = static_cast<size_t>(tree_->TopRow() + i);
        if (index >= rows.size()) break;
        TTreeNode* n = rows[index];
        int y = i * TTreeView::RowHeight, x = contentLeft(n);
        if (tree_->ShowButtons && n->HasChildren() && (n->Level() > 0 || tree_->ShowRoot)) {
            QRect box(x - tree_->Indent + 4, y + 4, 9, 9);
            p.setPen(QColor(0x80, 0x80, 0x80));
            p.setBrush(Qt::white);
            p.drawRect(box);
            p.setPen(Qt::black);
            p.drawLine(box.left() + 2, box.center().y(), box.right() - 2, box.center().y());
            if (!n->Expanded()) p.drawLine(box.center().x(), box.top() + 2, box.center().x(), box.bottom() - 2);
        }
        bool selected = n->Selected();
        int image = selected ? n->SelectedIndex : n->ImageIndex;
        // An item without an image in a zone starts where the image would: no empty slot before it.
        if (images && (image >= 0 || !isZone())) {
            if (image >= 0 && image < images->Count())
                p.drawPixmap(x, y, ListImage(images->Images[static_cast<size_t>(image)]));
            x += 18;
        }
        QString text = QString::fromStdString(n->Text);
        QRect textRect(x, y, p.fontMetrics().horizontalAdvance(text) + 6, TTreeView::RowHeight);
        if (tree_->RowSelect) textRect.setRight(textRight - 1);
        if (selected) {
            // The selection stays visible, paler, while another control has the focus.
            p.fillRect(textRect, focused ? SystemColor("clHighlight") : QColor(0xC8, 0xC8, 0xC8));
            p.setPen(focused ? SystemColor("clHighlightText") : Qt::black);
        } else {
            p.setPen(SystemColor(tree_->Font.Color));
        }
        p.drawText(textRect.adjusted(3, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, text);
        if (selected && focused) {
            p.setPen(QPen(Qt::black, 1, Qt::DotLine));
            p.setBrush(Qt::NoBrush);
            p.drawRect(textRect.adjusted(0, 0, -1, -1));
        }
    }
    // The focus shows on the tree itself too, so an empty tree or zone shows it.
    if (focused) {
        p.setPen(QPen(SystemColor("clHighlight"), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    if (hint_) {
        p.setPen(QPen(SystemColor("clHighlight"), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(1, 1, -1, -1));
        p.drawLine(4, hintY_, textRight - 4, hintY_);
    }
}

bool TreeWidget::isZone() const {
    const std::string& name = tree_->Name;
    return name == "trvPages" || name == "trvRows" || name == "trvCols" || name == "trvFacts";
}

int TreeWidget::TextLeft(const TTreeNode* node) const {
    int image = node->Selected() ? node->SelectedIndex : node->ImageIndex;
    return contentLeft(node) + (tree_->Images && (image >= 0 || !isZone()) ? 18 : 0);
}

void TreeWidget::ShowDropHint(bool on, QPoint at) {
    int y = 0;
    if (on && tree_) {
        std::vector<TTreeNode*> rows = tree_->VisibleNodes();
        int row = at.y() / TTreeView::RowHeight + tree_->TopRow();
        int last = static_cast<int>(rows.size());
        y = (std::min(std::max(row, tree_->TopRow()), last) - tree_->TopRow()) * TTreeView::RowHeight;
    }
    if (on == hint_ && y == hintY_) return;
    hint_ = on;
    hintY_ = y;
    update();
}

bool TreeWidget::event(QEvent* e) {
    // A filtered item's image: hovering names the members of its filter.
    if (e->type() == QEvent::ToolTip && tree_) {
        auto* help = static_cast<QHelpEvent*>(e);
        TTreeNode* n = tree_->GetNodeAt(help->pos().x(), help->pos().y());
        int filter = n && n->ImageIndex == 0 && tree_->Images && tree_->Images->Name == "imlConfig" ? stlDSfiltro.IndexOf(n->Text) : -1;
        if (filter >= 0 && filter < stlCDfiltro.Count()) {
            std::vector<std::string> labels = frontEnd_.FilterLabels(stlCDfiltro[filter]);
            QStringList shown;
            for (size_t i = 0; i < labels.size() && i < 20; ++i) shown << QString::fromStdString(labels[i]);
            QString text = "Filtro: " + shown.join(", ");
            if (labels.size() > 20) text += QString(" e mais %1").arg(labels.size() - 20);
            QToolTip::showText(help->globalPos(), text, this);
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    return QWidget::event(e);
}

void TreeWidget::mousePressEvent(QMouseEvent* e) {
    if (!tree_) return;
    QPoint at = e->position().toPoint();
    if (e->button() == Qt::LeftButton) {
        if (TTreeNode* n = buttonAt(at)) {
            // The expand button opens or closes the node; it neither selects nor presses.
            frontEnd_.Act([n] { n->Expanded() ? n->Collapse() : n->Expand(); });
            return;
        }
        pressed_ = true;
        dragging_ = false;
        pressAt_ = at;
    }
    TTreeView* tree = tree_;
    TShiftState shift = ShiftOf(e->modifiers());
    frontEnd_.Act([&] { MouseDown(tree, buttonOf(e->button()), at.x(), at.y(), shift); });
}

void TreeWidget::mouseMoveEvent(QMouseEvent* e) {
    if (!tree_ || !pressed_ || !(e->buttons() & Qt::LeftButton)) return;
    QPoint at = e->position().toPoint();
    if (!dragging_ && tree_->DragAutomatic && (at - pressAt_).manhattanLength() >= QApplication::startDragDistance()) {
        dragging_ = true;
        grabMouse();
    }
    if (dragging_) {
        bool accepted = frontEnd_.DragTo(tree_, e->globalPosition().toPoint(), false);
        setCursor(accepted ? Qt::DragMoveCursor : Qt::ForbiddenCursor);
    }
}

void TreeWidget::mouseReleaseEvent(QMouseEvent* e) {
    if (!tree_) return;
    QPoint at = e->position().toPoint();
    TTreeView* tree = tree_;
    if (e->button() == Qt::LeftButton && pressed_) {
        pressed_ = false;
        if (dragging_) {
            dragging_ = false;
            releaseMouse();
            unsetCursor();
            frontEnd_.DragTo(tree, e->globalPosition().toPoint(), true);  // also clears the drop hints
            return;
        }
    }
    TShiftState shift = ShiftOf(e->modifiers());
    frontEnd_.Act([&] { MouseUp(tree, buttonOf(e->button()), at.x(), at.y(), shift); });
    if (e->button() == Qt::RightButton && tree_ && tree_->PopupMenu) frontEnd_.ShowPopup(tree_, e->globalPosition().toPoint());
}

void TreeWidget::mouseDoubleClickEvent(QMouseEvent* e) {
    if (!tree_ || e->button() != Qt::LeftButton) return;
    QPoint at = e->position().toPoint();
    if (buttonAt(at)) return mousePressEvent(e);
    TTreeView* tree = tree_;
    frontEnd_.Act([&] {
        MouseDown(tree, TMouseButton::mbLeft, at.x(), at.y(), TShiftState::Double);
        DoubleClickEvent(tree, at.x(), at.y());
    });
}

void TreeWidget::wheelEvent(QWheelEvent* e) {
    if (!tree_) return;
    int steps = e->angleDelta().y() / 40;
    tree_->SetTopRow(tree_->TopRow() - steps);
    Sync();
}

void TreeWidget::keyPressEvent(QKeyEvent* e) {
    if (!tree_) return;
    const Qt::KeyboardModifiers mods = e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    if (e->key() == Qt::Key_F1 && mods == Qt::NoModifier) {
        ShowHelp(window());
        return;
    }
    // Shift+F10 and the Menu key: the context menu at the selected node.
    if ((e->key() == Qt::Key_F10 && mods == Qt::ShiftModifier) || e->key() == Qt::Key_Menu) {
        if (tree_->PopupMenu) {
            TTreeNode* n = tree_->Selected();
            QPoint at = n ? PointOf(n) : QPoint(8, 8);
            frontEnd_.ShowPopup(tree_, mapToGlobal(at));
        }
        return;
    }
    // Ctrl+Shift+L, C, P: the selected item to Linhas, Colunas, Páginas; Alt+Up/Down: one place up or down.
    if (mods == (Qt::ControlModifier | Qt::ShiftModifier) && (e->key() == Qt::Key_L || e->key() == Qt::Key_C || e->key() == Qt::Key_P)) {
        frontEnd_.SendTo(tree_, e->key() == Qt::Key_L ? "trvRows" : e->key() == Qt::Key_C ? "trvCols" : "trvPages");
        return;
    }
    if (mods == Qt::AltModifier && (e->key() == Qt::Key_Up || e->key() == Qt::Key_Down)) {
        if (isZone()) frontEnd_.MoveWithin(tree_, e->key() == Qt::Key_Up);
        return;
    }
    Word key = KeyOf(e);
    if (!key) return QWidget::keyPressEvent(e);
    TShiftState shift = ShiftOf(e->modifiers());
    TForm* form = tree_->GetParentForm();
    frontEnd_.Act([&] { form->KeyDown(key, shift); });
}

void TreeWidget::focusInEvent(QFocusEvent* e) {
    QWidget::focusInEvent(e);
    if (!tree_) return;
    TForm* form = tree_->GetParentForm();
    TTreeView* tree = tree_;
    // Focus by mouse or by Tab: the form learns it as a person's focus change.
    if (form && form->ActiveControl() != tree) frontEnd_.Act([&] { form->FocusControl(tree); });
    update();
}
