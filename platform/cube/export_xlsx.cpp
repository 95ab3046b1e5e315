// The viewer's grid as an Excel workbook (libxlsxwriter): the same lines as the CSV, numbers as
// numeric cells with the measure's format, subtotal and total lines bold; a second sheet describes
// the view. Written beside the chosen name and renamed over it only when complete.
#include <xlsxwriter.h>

#include <cstdio>
#include <stdexcept>

#include "viewer.hpp"
#include "whole_file.hpp"

namespace {

// The workbook of one export; closing it writes the file.
class Workbook {
public:
    explicit Workbook(const std::string& path) : book_(workbook_new(path.c_str())) {
        if (!book_) throw std::runtime_error("libxlsxwriter");
    }
    ~Workbook() {
        if (book_) workbook_close(book_);
    }
    Workbook(const Workbook&) = delete;
    Workbook& operator=(const Workbook&) = delete;
    lxw_workbook* get() const { return book_; }
    bool Close() {
        lxw_error e = workbook_close(book_);
        book_ = nullptr;
        return e == LXW_NO_ERROR;
    }

private:
    lxw_workbook* book_;
};

}  // namespace

void TfrmCubo::ExportXlsx(const std::string& path) const {
    RequireRegularFileOrNone(path);
    const std::string temporary = path + ".parcial.xlsx";
    RequireRegularFileOrNone(temporary);
    bool written = false;
    try {
        Workbook book(temporary);
        lxw_worksheet* grid = workbook_add_worksheet(book.get(), "Visão");
        lxw_worksheet* about = workbook_add_worksheet(book.get(), "Definição");
        lxw_format* bold = workbook_add_format(book.get());
        format_set_bold(bold);
        // Per measure: its number format, plain and bold.
        std::vector<lxw_format*> plain, strong;
        for (size_t m = 0; m < Facts.size(); ++m) {
            const char* pattern = Decimals(m) == 0 ? "#,##0" : "#,##0.00";
            plain.push_back(workbook_add_format(book.get()));
            format_set_num_format(plain.back(), pattern);
            strong.push_back(workbook_add_format(book.get()));
            format_set_num_format(strong.back(), pattern);
            format_set_bold(strong.back());
        }
        lxw_row_t row = 0;
        auto text = [&](lxw_worksheet* sheet, lxw_row_t r, lxw_col_t c, const std::string& s, lxw_format* f = nullptr) {
            worksheet_write_string(sheet, r, c, s.c_str(), f);
        };
        for (const PageSelector& p : Pages) {
            text(grid, row, 0, "Página");
            text(grid, row, 1, p.dimension);
            text(grid, row++, 2, p.CurrentLabel());
        }
        for (auto& [dimension, labels] : FilterLabels()) {
            std::string joined;
            for (const std::string& l : labels) joined += (joined.empty() ? "" : ", ") + l;
            text(grid, row, 0, "Filtro");
            text(grid, row, 1, dimension);
            text(grid, row++, 2, joined);
        }
        const lxw_col_t first = static_cast<lxw_col_t>(std::max<size_t>(Rows.size(), 1) + 1);
        for (size_t c = 0; c < Columns.size(); ++c, ++row) {
            text(grid, row, first - 1, Columns[c], bold);
            lxw_col_t col = first;
            for (auto& key : Grid.columnKeys)
                for (size_t m = 0; m < Facts.size(); ++m) text(grid, row, col++, key[c], bold);
            for (size_t m = 0; m < Facts.size(); ++m) text(grid, row, col++, "Total", bold);
        }
        text(grid, row, 0, "Tipo", bold);
        for (size_t r = 0; r < Rows.size(); ++r) text(grid, row, static_cast<lxw_col_t>(r + 1), Rows[r], bold);
        lxw_col_t col = first;
        for (size_t k = 0; k <= Grid.columnKeys.size(); ++k)
            for (const std::string& f : Facts) text(grid, row, col++, f, bold);
        ++row;
        for (size_t l = 0; l < Grid.Lines(); ++l) {
            const std::string_view kind = Grid.Kind(l);
            bool summary = kind != "detail";
            text(grid, row, 0, kind == "detail" ? "Detalhe" : kind == "subtotal" ? "Subtotal" : "Total", summary ? bold : nullptr);
            for (size_t i = 0; i < Grid.Depth(l); ++i) text(grid, row, static_cast<lxw_col_t>(i + 1), Grid.Label(l, i), summary ? bold : nullptr);
            col = first;
            for (size_t c = 0; c <= Grid.columnKeys.size(); ++c)
                for (size_t m = 0; m < Grid.Measures(); ++m, ++col)
                    if (const std::optional<double> v = Grid.Value(l, c, m)) worksheet_write_number(grid, row, col, *v, summary ? strong[m] : plain[m]);
            ++row;
        }
        worksheet_freeze_panes(grid, row - static_cast<lxw_row_t>(Grid.Lines()), first);

        lxw_row_t r = 0;
        auto list = [&](const char* what, const std::vector<std::string>& names) {
            text(about, r, 0, what, bold);
            for (size_t i = 0; i < names.size(); ++i) text(about, r, static_cast<lxw_col_t>(i + 1), names[i]);
            ++r;
        };
        std::vector<std::string> pages;
        for (auto& p : Pages) pages.push_back(p.dimension);
        list("Fatos", Facts);
        list("Linhas", Rows);
        list("Colunas", Columns);
        list("Páginas", pages);
        for (auto& [dimension, labels] : FilterLabels()) {
            std::vector<std::string> line{dimension};
            line.insert(line.end(), labels.begin(), labels.end());
            list("Filtro", line);
        }
        written = book.Close();
    } catch (const std::exception&) {
        written = false;
    }
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        throw std::runtime_error("Não foi possível gravar o arquivo " + path);
    }
}
