#include "screen_view.hpp"

#include <QKeyEvent>
#include <QPainter>

#include "artwork.hpp"
#include "front_end.hpp"
#include "help_window.hpp"
#include "key_map.hpp"
#include "services/button_flat.hpp"
#include "toolkit/controls.hpp"
#include "toolkit/form.hpp"
#include "toolkit/tree_view.hpp"
#include "tree_widget.hpp"

// ---- ToolButton ---------------------------------------------------------------------------------

ToolButton::ToolButton(FrontEnd& frontEnd, TButtonFlat* button, QWidget* parent)
    : QWidget(parent), frontEnd_(frontEnd), button_(button) {
    setObjectName(QString::fromStdString(button->Name));
    setFocusPolicy(Qt::NoFocus);
    Sync();
}

namespace {

// Why "Construir Visão de DW" cannot run now, or empty.
QString buildBlocked(const TForm* form) {
    auto count = [&](const char* name) {
        auto* t = dynamic_cast<TTreeView*>(form->FindComponent(name));
        return t ? t->Items().Count() : 0;
    };
    int facts = count("trvFacts"), dimensions = count("trvRows") + count("trvCols") + count("trvPages");
    if (facts == 0 && dimensions == 0) return "ponha ao menos um fato e uma dimensão na visão";
    if (facts == 0) return "falta ao menos um fato na área Fatos";
    if (dimensions == 0) return "falta ao menos uma dimensão em Páginas, Linhas ou Colunas";
    if (facts + dimensions > 31) return QString("a visão tem %1 itens; o limite é 31").arg(facts + dimensions);
    return {};
}

}  // namespace

void ToolButton::Sync() {
    if (!button_) return;
    setVisible(button_->Visible && button_->Width > 0);
    QString tip = button_->ShowHint ? QString::fromStdString(button_->Hint) : QString();
    if (button_->Name == "sbtConfirmar")
        if (TForm* form = button_->GetParentForm())
            if (QString why = buildBlocked(form); !why.isEmpty()) tip += (tip.isEmpty() ? "" : ": ") + why;
    setToolTip(tip);
    update();
}

void ToolButton::paintEvent(QPaintEvent*) {
    if (!button_) return;
    QPainter p(this);
    bool enabled = button_->Enabled;
    // Flat: a border only under the mouse, sunken while pressed.
    if (enabled && (hover_ || down_)) {
        p.setPen(down_ ? SystemColor("clBtnShadow") : Qt::white);
        p.drawLine(0, 0, width() - 1, 0);
        p.drawLine(0, 0, 0, height() - 1);
        p.setPen(down_ ? Qt::white : SystemColor("clBtnShadow"));
        p.drawLine(width() - 1, 0, width() - 1, height() - 1);
        p.drawLine(0, height() - 1, width() - 1, height() - 1);
    }
    QPixmap glyph = ButtonGlyph(button_->Glyph, enabled);
    int off = down_ ? 1 : 0;
    p.drawPixmap((width() - glyph.width()) / 2 + off, (height() - glyph.height()) / 2 + off, glyph);
}

void ToolButton::mousePressEvent(QMouseEvent*) {
    down_ = true;
    update();
}

void ToolButton::mouseReleaseEvent(QMouseEvent* e) {
    bool click = down_ && rect().contains(e->position().toPoint());
    down_ = false;
    update();
    TButtonFlat* b = button_;
    // A person's click on a disabled button does nothing. The help button opens the help window.
    if (click && b && b->Name == "sbtAjuda") ShowHelp(window());
    if (click && b && b->Enabled && b->Visible) frontEnd_.Act([b] { b->Click(); });
}

void ToolButton::enterEvent(QEnterEvent*) {
    hover_ = true;
    update();
}

void ToolButton::leaveEvent(QEvent*) {
    hover_ = false;
    update();
}

// ---- ScreenView ---------------------------------------------------------------------------------

ScreenView::ScreenView(FrontEnd& frontEnd, TForm* form, QWidget* parent) : QWidget(parent), frontEnd_(frontEnd), form_(form) {
    setObjectName(QString::fromStdString(form->Name));
    setFocusPolicy(Qt::ClickFocus);
    // The client area of the designed outer size, less the window frame; smaller, the controls keep
    // their designed places (the window itself springs back to this size).
    designedSize_ = QSize(form->Width - 8, form->Height - 27);
    resize(designedSize_);
    for (int i = 0; i < form->ComponentCount(); ++i) {
        auto* c = dynamic_cast<TControl*>(form->Components(i));
        if (!c) continue;
        designed_[c] = QRect(c->Left, c->Top, c->Width, c->Height);
        if (auto tree = dynamic_cast<TTreeView*>(c)) {
            trees_.push_back(new TreeWidget(frontEnd, tree, this));
        } else if (auto button = dynamic_cast<TButtonFlat*>(c)) {
            buttons_.push_back(new ToolButton(frontEnd, button, this));
        }
    }
    for (TreeWidget* t : trees_) t->setGeometry(RectOf(t->Tree()));
    for (ToolButton* b : buttons_) b->setGeometry(RectOf(b->Button()));
    // Tab goes through the trees in the order of the form's components.
    for (size_t i = 1; i < trees_.size(); ++i) setTabOrder(trees_[i - 1], trees_[i]);
    Sync();
}

namespace {

// How a panel or scroll box is aligned in its parent; other controls have no alignment.
std::string alignOf(const TControl* c) {
    if (auto p = dynamic_cast<const TPanel*>(c)) return p->Align;
    if (auto b = dynamic_cast<const TScrollBox*>(c)) return b->Align;
    return "alNone";
}

}  // namespace

QRect ScreenView::RectOf(const TControl* c) const {
    auto it = designed_.find(c);
    const QRect own = it == designed_.end() ? QRect(c->Left, c->Top, c->Width, c->Height) : it->second;
    const TControl* parent = c->Parent && c->Parent != form_ ? c->Parent : nullptr;
    // The parent's designed and present places (the form's client area for a top-level control).
    QRect was = parent ? (designed_.count(parent) ? designed_.at(parent) : QRect(parent->Left, parent->Top, parent->Width, parent->Height))
                       : QRect(QPoint(), designedSize_);
    QRect now = parent ? RectOf(parent) : QRect(QPoint(), size().expandedTo(designedSize_));
    const int dx = now.width() - was.width(), dy = now.height() - was.height();
    QRect r = own;
    if (alignOf(c) == "alTop") {
        r.setWidth(own.width() + dx);
    } else if (alignOf(c) == "alClient") {
        r.setSize(own.size() + QSize(dx, dy));
    } else if (parent && alignOf(parent) == "alClient") {
        // The panels side by side in the client area: all grow in height, the rightmost in width too.
        r.setHeight(own.height() + dy);
        bool rightmost = true;
        for (auto& [other, place] : designed_)
            if (other != c && other->Parent == parent && place.right() > own.right()) rightmost = false;
        if (rightmost) r.setWidth(own.width() + dx);
    } else if (was.width() > 0 && was.height() > 0) {
        // Inside a panel: scaled with it; a label moves but keeps its size.
        const double sx = double(now.width()) / was.width(), sy = double(now.height()) / was.height();
        r = QRect(qRound(own.x() * sx), qRound(own.y() * sy), own.width(), own.height());
        if (!dynamic_cast<const TLabel*>(c)) r.setSize(QSize(qRound(own.width() * sx), qRound(own.height() * sy)));
    }
    return r.translated(parent ? now.topLeft() : QPoint());
}

void ScreenView::resizeEvent(QResizeEvent*) {
    for (TreeWidget* t : trees_)
        if (t->Tree()) t->setGeometry(RectOf(t->Tree()));
    for (ToolButton* b : buttons_)
        if (b->Button()) b->setGeometry(RectOf(b->Button()));
    update();
}

void ScreenView::Detach() {
    for (TreeWidget* t : trees_) t->Detach();
    for (ToolButton* b : buttons_) b->Detach();
    form_ = nullptr;
}

void ScreenView::Sync() {
    if (!form_) return;
    for (TreeWidget* t : trees_) t->Sync();
    for (ToolButton* b : buttons_) b->Sync();
    // The toolkit's focus is shown as Qt's.
    for (TreeWidget* t : trees_)
        if (form_->ActiveControl() == t->Tree() && !t->hasFocus() && isActiveWindow() && t->isVisible()) t->setFocus(Qt::OtherFocusReason);
    update();
}

TreeWidget* ScreenView::Tree(const std::string& name) const {
    for (TreeWidget* t : trees_)
        if (t->objectName().toStdString() == name) return t;
    return nullptr;
}

TControl* ScreenView::DropTargetAt(QPoint local, QPoint& controlPoint) const {
    if (!form_) return nullptr;
    for (TreeWidget* t : trees_) {
        if (t->isVisible() && t->geometry().contains(local)) {
            controlPoint = local - t->geometry().topLeft();
            return t->Tree();
        }
    }
    auto* box = dynamic_cast<TControl*>(form_->FindComponent("scrOpcoesDW"));
    if (box && RectOf(box).contains(local)) {
        controlPoint = local - RectOf(box).topLeft();
        return box;
    }
    return nullptr;
}

void ScreenView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), SystemColor(form_ ? form_->Color : "clBtnFace"));
    if (!form_) return;
    // Panels first (raised bevels), then the pictures, then the labels above them.
    for (int pass = 0; pass < 3; ++pass) {
        for (int i = 0; i < form_->ComponentCount(); ++i) {
            auto* c = dynamic_cast<TControl*>(form_->Components(i));
            if (!c || !c->Visible) continue;
            QRect r = RectOf(c);
            if (pass == 0) {
                if (auto panel = dynamic_cast<TPanel*>(c)) {
                    p.fillRect(r, SystemColor(panel->Color));
                    if (panel->BevelOuter == "bvRaised") {
                        p.setPen(Qt::white);
                        p.drawLine(r.topLeft(), r.topRight());
                        p.drawLine(r.topLeft(), r.bottomLeft());
                        p.setPen(SystemColor("clBtnShadow"));
                        p.drawLine(r.bottomLeft(), r.bottomRight());
                        p.drawLine(r.topRight(), r.bottomRight());
                    }
                }
            } else if (pass == 1) {
                if (auto image = dynamic_cast<TImage*>(c); image && image->Picture == "moldura_tabela_dinamica") {
                    QRect zones[4];
                    const char* names[] = {"trvPages", "trvRows", "trvCols", "trvFacts"};
                    for (int z = 0; z < 4; ++z)
                        if (auto zone = dynamic_cast<TControl*>(form_->FindComponent(names[z])))
                            zones[z] = RectOf(zone);
                    PaintPivotBackdrop(p, r, zones);
                }
            } else if (auto label = dynamic_cast<TLabel*>(c)) {
                p.setFont(ScreenFont(label->ParentFont ? form_->Font : label->Font));
                p.setPen(SystemColor(label->Font.Color));
                p.drawText(r.topLeft() + QPoint(0, p.fontMetrics().ascent()), QString::fromStdString(label->Caption));
            }
        }
    }
}

void ScreenView::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_F1 && e->modifiers() == Qt::NoModifier) {
        ShowHelp(window());
        return;
    }
    Word key = KeyOf(e);
    if (!form_ || !key) return QWidget::keyPressEvent(e);
    TForm* form = form_;
    TShiftState shift = ShiftOf(e->modifiers());
    frontEnd_.Act([&] { form->KeyDown(key, shift); });
}
