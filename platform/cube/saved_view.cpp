#include "saved_view.hpp"

#include <nlohmann/json.hpp>

using J = nlohmann::json;

namespace {

const char* const kShow[] = {"values", "percent-total", "percent-row", "percent-column"};

[[noreturn]] void bad(const std::string& what) { throw std::invalid_argument(what); }

const J& member(const J& object, const char* key) {
    if (!object.is_object() || !object.contains(key)) bad(std::string("falta o campo \"") + key + "\"");
    return object.at(key);
}

std::vector<std::string> texts(const J& j, const char* what) {
    if (!j.is_array()) bad(std::string("\"") + what + "\" não é uma lista");
    std::vector<std::string> out;
    for (const J& e : j) {
        if (!e.is_string()) bad(std::string("\"") + what + "\" tem um item que não é texto");
        out.push_back(e.get<std::string>());
    }
    return out;
}

// What the screen itself would refuse to build, or a viewer could not show, refused in the file too.
void requireWithinTheScreen(const SavedView& v) {
    const size_t items = v.lists[0].size() + v.lists[1].size() + v.lists[3].size() + v.lists[5].size();
    if (items > static_cast<size_t>(SavedView::kMaxItems))
        bad("a visão tem " + std::to_string(items) + " itens, mais que os " + std::to_string(SavedView::kMaxItems) + " que a tela permite");
    auto inView = [&](const std::string& dimension) {
        for (size_t list : {1, 3, 5})
            for (const std::string& d : v.lists[list])
                if (d == dimension) return true;
        return false;
    };
    auto check = [&](const char* axis, const std::string& dimension) {
        if (!inView(dimension)) bad(std::string("\"") + axis + "\" nomeia a dimensão " + dimension + ", que a visão não tem");
    };
    for (const std::string& d : v.rows) check("rows", d);
    for (const std::string& d : v.columns) check("columns", d);
    for (auto& [d, current] : v.pages) check("pages", d);
}

}  // namespace

J SettingsJson(const ViewSettings& s) {
    J order = J::object();
    for (auto& [dimension, o] : s.order) order[dimension] = o == MemberOrder::Label ? "label" : "key";
    J collapsed = J::object();
    for (auto& [dimension, c] : s.collapsed) collapsed[dimension] = c.all ? J(true) : J(c.members);
    J sort = nullptr;
    if (s.sortFact) {
        sort = {{"fact", *s.sortFact}, {"direction", s.sortDescending ? "desc" : "asc"}};
        if (s.sortColumn) sort["column"] = *s.sortColumn;  // a header click on one column, not the total
    }
    return {{"order", order},
            {"sort", sort},
            {"collapsed", collapsed},
            {"subtotals", s.subtotals},
            {"show", kShow[static_cast<int>(s.show)]},
            {"chart", s.chart ? J(*s.chart) : J(nullptr)}};
}

ViewSettings SettingsFromJson(const J& j) {
    ViewSettings s;
    const J& order = member(j, "order");
    if (!order.is_object()) bad("\"order\" não é um objeto");
    for (auto& [dimension, o] : order.items()) {
        if (o != "key" && o != "label") bad("\"order\" de " + dimension + " não é key nem label");
        if (o == "label") s.order[dimension] = MemberOrder::Label;
    }
    const J& sort = member(j, "sort");
    if (!sort.is_null()) {
        const J& fact = member(sort, "fact");
        const J& direction = member(sort, "direction");
        if (!fact.is_string() || (direction != "asc" && direction != "desc")) bad("\"sort\" inválido");
        s.sortFact = fact.get<std::string>();
        s.sortDescending = direction == "desc";
        if (sort.contains("column")) s.sortColumn = texts(sort["column"], "column");
    }
    const J& collapsed = member(j, "collapsed");
    if (!collapsed.is_object()) bad("\"collapsed\" não é um objeto");
    for (auto& [dimension, c] : collapsed.items()) {
        ViewSettings::Collapsed entry;
        if (c.is_boolean() && c.get<bool>()) {
            entry.all = true;
        } else {
            for (auto& label : texts(c, "collapsed")) entry.members.insert(label);
        }
        s.collapsed[dimension] = entry;
    }
    const J& subtotals = member(j, "subtotals");
    if (!subtotals.is_boolean()) bad("\"subtotals\" não é verdadeiro nem falso");
    s.subtotals = subtotals.get<bool>();
    const J& show = member(j, "show");
    bool known = false;
    for (int i = 0; i < 4; ++i)
        if (show == kShow[i]) {
            s.show = static_cast<ShowAs>(i);
            known = true;
        }
    if (!known) bad("\"show\" desconhecido");
    const J& chart = member(j, "chart");
    if (!chart.is_null()) {
        if (chart != "bar" && chart != "line") bad("\"chart\" desconhecido");
        s.chart = chart.get<std::string>();
    }
    return s;
}

std::string SavedViewText(const SavedView& v) {
    J names = J::array(), selections = J::array();
    for (auto& [dimension, selection] : v.filters) {
        names.push_back(dimension);
        selections.push_back(selection);
    }
    J pages = J::array();
    for (auto& [dimension, current] : v.pages) pages.push_back({{"dimension", dimension}, {"current", current ? J(*current) : J(nullptr)}});
    // In a fixed order, the version first, so that the file reads well.
    using O = nlohmann::ordered_json;
    O lists = O::object();
    for (size_t i = 0; i < v.lists.size(); ++i) lists[SavedView::kLists[i]] = v.lists[i];
    O out = O::object();
    out["format"] = SavedView::kFormat;
    out["view"] = lists;
    out["filters"] = O::parse(J{{"stlDSfiltro", names}, {"stlCDfiltro", selections}}.dump());
    out["axes"] = O::parse(J{{"rows", v.rows}, {"columns", v.columns}, {"pages", pages}}.dump());
    out["settings"] = O::parse(SettingsJson(v.settings).dump());
    return out.dump(2) + "\n";
}

SavedView ParseSavedView(const std::string& text) {
    J j = J::parse(text, nullptr, false);
    if (j.is_discarded() || !j.is_object() || !j.contains("format"))
        throw ESavedView("O arquivo não é uma visão salva do QEL, ou está incompleto.");
    const J& format = j["format"];
    if (!format.is_number_integer() || format.get<long long>() < 1)
        throw ESavedView("O arquivo não é uma visão salva do QEL: versão de formato inválida.");
    if (format.get<long long>() > SavedView::kFormat)
        throw ESavedView("A visão foi salva num formato mais novo (" + std::to_string(format.get<long long>()) +
                         ") do que este programa lê (" + std::to_string(SavedView::kFormat) + "); atualize o QEL para abri-la.");
    SavedView v;
    try {
        const J& view = member(j, "view");
        for (size_t i = 0; i < v.lists.size(); ++i) v.lists[i] = texts(member(view, SavedView::kLists[i]), SavedView::kLists[i]);
        for (auto [names, codes] : {std::pair{1, 2}, std::pair{3, 4}, std::pair{5, 6}})
            if (v.lists[static_cast<size_t>(names)].size() != v.lists[static_cast<size_t>(codes)].size())
                bad(std::string("\"") + SavedView::kLists[static_cast<size_t>(codes)] + "\" não acompanha \"" + SavedView::kLists[static_cast<size_t>(names)] + "\"");
        const J& filters = member(j, "filters");
        auto names = texts(member(filters, "stlDSfiltro"), "stlDSfiltro");
        auto selections = texts(member(filters, "stlCDfiltro"), "stlCDfiltro");
        if (names.size() != selections.size()) bad("\"stlCDfiltro\" não acompanha \"stlDSfiltro\"");
        for (size_t i = 0; i < names.size(); ++i) v.filters.emplace_back(names[i], selections[i]);
        const J& axes = member(j, "axes");
        v.rows = texts(member(axes, "rows"), "rows");
        v.columns = texts(member(axes, "columns"), "columns");
        const J& pages = member(axes, "pages");
        if (!pages.is_array()) bad("\"pages\" não é uma lista");
        for (const J& p : pages) {
            const J& dimension = member(p, "dimension");
            const J& current = member(p, "current");
            if (!dimension.is_string() || !(current.is_null() || current.is_string())) bad("\"pages\" tem uma página inválida");
            v.pages.emplace_back(dimension.get<std::string>(), current.is_null() ? std::nullopt : std::optional<std::string>(current.get<std::string>()));
        }
        v.settings = SettingsFromJson(member(j, "settings"));
        requireWithinTheScreen(v);
    } catch (const std::invalid_argument& e) {
        throw ESavedView(std::string("O arquivo não é uma visão salva válida: ") + e.what() + ".");
    }
    return v;
}

std::string ViewNameOf(const std::string& path) {
    std::string name = path.substr(path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1);
    auto dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}
