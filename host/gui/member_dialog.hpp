// The member-list dialog of the framework (PesquisaListaMsg) in a window: the data set's rows under
// its columns' display labels with a mark per row, starting from the selection given; a search box
// that narrows the rows shown; marking all or none of the rows shown; a count of the marked rows; OK
// and Cancel. OK returns the selection string: the key of each marked row between single quotes,
// embedded quotes doubled, joined by commas, in row order.
#pragma once

#include <QDialog>
#include <vector>

#include "fwk/host_bridge.hpp"

class QLineEdit;
class QLabel;
class QTableWidget;

class MemberDialog : public QDialog {
public:
    MemberDialog(const ListDialogRequest& request, QWidget* parent = nullptr);
    std::string Selection() const;
    QLineEdit* Search() const { return search_; }
    QTableWidget* Table() const { return table_; }
    int Marked() const;
    void MarkShown(bool marked);

private:
    void narrow(const QString& text);
    void count();

    ListDialogRequest request_;
    int keyColumn_ = -1;         // among the request's columns
    std::vector<int> shownColumns_;  // request columns shown after the mark
    QLineEdit* search_;
    QTableWidget* table_;
    QLabel* count_;
};

// The list dialog service of the framework, answered by this dialog (modal).
class MemberDialogService : public ListDialogService {
public:
    explicit MemberDialogService(QWidget* parent) : parent_(parent) {}
    ListDialogAnswer Show(const ListDialogRequest& request) override;

private:
    QWidget* parent_;  // not owned
};
