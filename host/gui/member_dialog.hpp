// The member-list dialog of the framework (PesquisaListaMsg) in a window: the data set's rows under
// its columns' display labels with a mark per row, starting from the selection given, sorted as the
// viewer sorts labels (ignoring case and accents, numbers by value; a header click sorts by that
// column); a search box that narrows the rows shown, ignoring case and accents; marking all, none or
// the opposite of the rows shown; Space marks the current row; a count "x de N marcados", and while
// no row is marked a note that the dimension is then not filtered; OK and Cancel. OK returns the
// selection string: the key of each marked row between single quotes, embedded quotes doubled,
// joined by commas, in the data set's row order whatever the order shown.
#pragma once

#include <QDialog>
#include <map>
#include <string>
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
    void InvertShown();
    // The labels of the marked rows (the first column shown after the mark), in the data set's order.
    std::vector<std::string> MarkedLabels() const;

private:
    void narrow(const QString& text);
    void count();
    bool eventFilter(QObject* watched, QEvent* event) override;
    int requestRow(int tableRow) const;  // the data set's row a table row shows

    ListDialogRequest request_;
    int keyColumn_ = -1;         // among the request's columns
    int labelColumn_ = 1;        // the table column rows are first sorted by
    std::vector<int> shownColumns_;  // request columns shown after the mark
    QLineEdit* search_;
    QTableWidget* table_;
    QLabel* count_;
    QLabel* noneMarked_;  // the note on an empty selection
};

// The list dialog service of the framework, answered by this dialog (modal).
class MemberDialogService : public ListDialogService {
public:
    explicit MemberDialogService(QWidget* parent) : parent_(parent) {}
    ListDialogAnswer Show(const ListDialogRequest& request) override;
    // The labels of the members a selection string names, as the dialog that returned it showed them;
    // empty for a selection no dialog of this session returned.
    std::vector<std::string> LabelsOf(const std::string& selection) const;

private:
    QWidget* parent_;  // not owned
    std::map<std::string, std::vector<std::string>> labels_;  // selection -> labels
};
