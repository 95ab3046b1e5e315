// ScreenView draws a toolkit form whose controls are panels, labels, pictures, flat buttons and tree
// views: panels with their bevels, labels in their fonts, the layout backdrop, a ToolButton for each
// flat button and a TreeWidget for each tree, all at the geometry the form gives them. It keeps
// nothing of the form but pointers to its controls (not owned), for as long as the form lives.
#pragma once

#include <QWidget>
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
    QPoint Origin(const TControl* c) const;  // of a control, in this view's coordinates

protected:
    void paintEvent(QPaintEvent*) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    FrontEnd& frontEnd_;
    TForm* form_;
    std::vector<TreeWidget*> trees_;
    std::vector<ToolButton*> buttons_;
};
