// ScreenView draws a toolkit form whose controls are panels, labels, pictures, flat buttons and tree
// views: panels with their bevels, labels in their fonts, the layout backdrop, a ToolButton for each
// flat button and a TreeWidget for each tree, at the geometry the form gives them when the window has
// its designed size. A larger window lays the controls out again: a control aligned to the top
// widens, one aligned to the client area grows both ways, the panels inside it grow in height (the
// rightmost also in width), and what lies inside those panels scales with them (labels keep their
// size). It keeps nothing of the form but pointers to its controls (not owned), and their designed
// geometry, for as long as the form lives.
#pragma once

#include <QWidget>
#include <map>
#include <string>
#include <vector>

class FrontEnd;
class TForm;
class TControl;
class TButtonFlat;
class TreeWidget;

class ToolButton : public QWidget {
public:
    ToolButton(FrontEnd& frontEnd, TButtonFlat* button, QWidget* parent);
    void Detach() { button_ = nullptr; }
    TButtonFlat* Button() const { return button_; }
    void Sync();

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;

private:
    FrontEnd& frontEnd_;
    TButtonFlat* button_;
    bool hover_ = false, down_ = false;
};

class ScreenView : public QWidget {
public:
    ScreenView(FrontEnd& frontEnd, TForm* form, QWidget* parent = nullptr);
    TForm* Form() const { return form_; }
    // The form is going: no widget acts on it any more.
    void Detach();
    // Reads the form again.
    void Sync();
    TreeWidget* Tree(const std::string& name) const;
    const std::vector<TreeWidget*>& Trees() const { return trees_; }
    // The control a point of this view lies on for a drop: a tree, else the scroll box behind them.
    TControl* DropTargetAt(QPoint local, QPoint& controlPoint) const;
    QSize sizeHint() const override { return designedSize_; }
    // Where a control is drawn now, in this view's coordinates.
    QRect RectOf(const TControl* c) const;

protected:
    void paintEvent(QPaintEvent*) override;
    void keyPressEvent(QKeyEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    FrontEnd& frontEnd_;
    TForm* form_;
    std::vector<TreeWidget*> trees_;
    std::vector<ToolButton*> buttons_;
    std::map<const TControl*, QRect> designed_;  // each control's designed place within its parent
    QSize designedSize_;
};
