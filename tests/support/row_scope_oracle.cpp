#include "row_scope_oracle.hpp"

#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <nlohmann/json.hpp>
#include <random>
#include <set>

#include "processes.hpp"

namespace {

using J = nlohmann::json;

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string quoted(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}

// Numbers written as JSON writes them, so 1.50, 1.5 and "1.5" compare alike.
std::string normal(const std::string& text) {
    if (text.empty() || !(std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '-')) return text;
    try {
        return J::parse(text).dump();
    } catch (...) {
        return text;
    }
}

// Every way to name a table.
std::vector<std::string> spellings(const std::string& t, OracleDialect d) {
    if (d == OracleDialect::Postgres)
        return {t, "public." + t, "\"" + lower(t) + "\"", "\"public\".\"" + lower(t) + "\"", "PUBLIC." + lower(t), "pg_temp." + t};
    return {t, "main." + t, "\"" + t + "\"", "[" + t + "]", "`" + t + "`", lower(t), "\"main\".\"" + t + "\"", "MAIN." + lower(t),
            "temp." + t, "Main.[" + t + "]"};
}

}  // namespace

// A table's i-th column (round), or "1" for a table whose columns are unknown.
static std::string columnOf(const OracleTables& tables, const std::string& t, size_t i) {
    auto it = tables.columns.find(t);
    if (it == tables.columns.end() || it->second.empty()) return "1";
    return it->second[i % it->second.size()];
}

// ClickHouse (as Debian ships it) has no CTEs over tables, no window functions and only UNION ALL:
// reads under every spelling, nested, scalar and IN subqueries, joins, scalar WITH, table functions
// and the system tables.
static std::vector<std::string> clickHouseCorpus(const OracleTables& tables, const std::string& database, unsigned seed, size_t generated) {
    std::vector<std::string> all = tables.restricted;
    all.insert(all.end(), tables.open.begin(), tables.open.end());
    all.insert(all.end(), tables.rules.begin(), tables.rules.end());
    auto column = [&](const std::string& t, size_t i) { return columnOf(tables, t, i); };
    auto spell = [&](const std::string& t) {
        return std::vector<std::string>{t, "`" + t + "`", "\"" + t + "\"", database + "." + t, "`" + database + "`.`" + t + "`"};
    };
    std::vector<std::string> out;
    for (const std::string& t : all) {
        const std::string c0 = column(t, 0);
        for (const std::string& s : spell(t)) {
            out.push_back("SELECT * FROM " + s);
            out.push_back("SELECT count(), count(" + c0 + ") FROM " + s);
        }
        out.push_back("SELECT * FROM (SELECT * FROM (SELECT * FROM " + t + "))");
        out.push_back("SELECT (SELECT count() FROM " + t + "), (SELECT max(" + c0 + ") FROM " + t + ")");
        out.push_back("WITH (SELECT count() FROM " + t + ") AS n SELECT n");
        out.push_back("SELECT " + c0 + " FROM " + t + " UNION ALL SELECT " + c0 + " FROM " + t);
        out.push_back("SELECT CDCLIENTE FROM DCLIENTE WHERE CDCLIENTE IN (SELECT " + c0 + " FROM " + t + ")");
        out.push_back("SELECT arrayJoin((SELECT groupArray(" + c0 + ") FROM " + t + ")) AS v");
        out.push_back("SELECT count() FROM " + t + " ANY LEFT JOIN DCLIENTE USING CDCLIENTE");
        out.push_back("SELECT * FROM merge(currentDatabase(), '^" + t + "$')");
        out.push_back("SELECT * FROM remote('127.0.0.1', " + database + "." + t + ")");
        out.push_back("SELECT count() FROM system.query_log WHERE query LIKE '%" + t + "%'");
        out.push_back("SELECT name FROM system.tables WHERE name = '" + t + "'");
        out.push_back("SELECT sum(rows) FROM system.parts WHERE table = '" + t + "'");
    }
    for (const char* s : {"SELECT * FROM system.processes", "SELECT query FROM system.query_log", "SELECT name FROM system.databases",
                          "SELECT * FROM QELOPERADOR", "SELECT * FROM `QELOPERADOR`", "SELECT number FROM numbers(3)"})
        out.push_back(s);
    std::mt19937 rng(seed);
    std::function<std::string(int)> piece = [&](int depth) -> std::string {
        int form = depth <= 0 ? 0 : static_cast<int>(rng() % 5);
        switch (form) {
            case 0: {
                const std::string& t = all[rng() % all.size()];
                std::vector<std::string> sp = spell(t);
                return "SELECT toString(" + column(t, rng()) + ") AS v FROM " + sp[rng() % sp.size()];
            }
            case 1: return "SELECT v FROM (" + piece(depth - 1) + ")";
            case 2: return "SELECT toString(count()) AS v FROM (" + piece(depth - 1) + ")";
            case 3: return "SELECT v FROM (" + piece(depth - 1) + " UNION ALL " + piece(depth - 1) + ")";
            default: {
                const std::string& t = all[rng() % all.size()];
                return "SELECT toString(" + column(t, 0) + ") AS v FROM " + t + " WHERE toString(" + column(t, 0) + ") IN (" + piece(depth - 1) + ")";
            }
        }
    };
    for (size_t i = 0; i < generated; ++i) out.push_back(piece(1 + static_cast<int>(rng() % 3)));
    return out;
}

std::vector<std::string> OracleCorpus(const OracleTables& tables, OracleDialect dialect, unsigned seed, size_t generated) {
    if (dialect == OracleDialect::ClickHouse) return clickHouseCorpus(tables, tables.database, seed, generated);
    const bool pg = dialect == OracleDialect::Postgres;
    const std::string schema = pg ? "public." : "main.";
    const std::string same = pg ? " IS NOT DISTINCT FROM " : " IS ";
    std::vector<std::string> all = tables.restricted;
    all.insert(all.end(), tables.open.begin(), tables.open.end());
    all.insert(all.end(), tables.rules.begin(), tables.rules.end());
    auto column = [&](const std::string& t, size_t i) { return columnOf(tables, t, i); };
    std::vector<std::string> out;
    for (const std::string& t : all) {
        const std::string c0 = column(t, 0), c1 = column(t, 1), base = schema + t;
        for (const std::string& s : spellings(t, dialect)) {
            out.push_back("SELECT * FROM " + s);
            out.push_back("SELECT count(*), count(" + c0 + ") FROM " + s);
        }
        out.push_back("WITH " + t + " AS (SELECT * FROM " + base + ") SELECT * FROM " + t);
        out.push_back("WITH " + lower(t) + " AS (SELECT * FROM " + base + ") SELECT count(*) FROM " + lower(t));
        out.push_back("WITH \"" + (pg ? lower(t) : t) + "\" AS MATERIALIZED (SELECT * FROM " + base + ") SELECT " + c0 + " FROM \"" +
                      (pg ? lower(t) : t) + "\"");
        out.push_back("WITH " + t + " AS NOT MATERIALIZED (SELECT " + c0 + " FROM " + base + ") SELECT * FROM " + t);
        out.push_back("WITH a AS (WITH " + t + " AS (SELECT * FROM " + base + ") SELECT * FROM " + t + ") SELECT * FROM a");
        out.push_back("WITH RECURSIVE " + t + "(n) AS (SELECT (SELECT count(*) FROM " + base + ") UNION ALL SELECT n - 1 FROM " + t +
                      " WHERE n > 0) SELECT max(n) FROM " + t);
        out.push_back("WITH RECURSIVE r(v) AS (SELECT " + c0 + " FROM " + base + " UNION SELECT v FROM r) SELECT * FROM r");
        out.push_back("SELECT (SELECT count(*) FROM " + base + "), (SELECT max(" + c0 + ") FROM " + t + ")");
        out.push_back("SELECT * FROM (SELECT * FROM (SELECT * FROM " + base + ") AS a) AS b");
        out.push_back("SELECT " + c0 + ", count(*) OVER (PARTITION BY " + c0 + "), row_number() OVER (ORDER BY " + c0 + ", " + c1 +
                      ") IS NOT NULL FROM " + t);
        out.push_back("SELECT " + c0 + " FROM " + t + " UNION SELECT " + c0 + " FROM " + base);
        out.push_back("SELECT " + c0 + " FROM " + base + " EXCEPT SELECT " + c0 + " FROM " + t);
        out.push_back("SELECT " + c0 + " FROM " + t + " INTERSECT SELECT " + c0 + " FROM " + base);
        if (pg) out.push_back("SELECT value FROM json_array_elements_text((SELECT json_agg(" + c0 + ") FROM " + base + ")) AS j");
        else out.push_back("SELECT value FROM json_each((SELECT json_group_array(" + c0 + ") FROM " + base + "))");
        out.push_back("SELECT x." + c0 + " FROM " + t + " x WHERE EXISTS (SELECT 1 FROM " + base + " y WHERE y." + c0 + same + "x." + c0 + ")");
        out.push_back("SELECT CDCLIENTE FROM DCLIENTE WHERE CDCLIENTE IN (SELECT " + c0 + " FROM " + base + ")");
        if (!pg) out.push_back("SELECT * FROM pragma_table_info('" + t + "')");
        out.push_back("SELECT count(*) FROM " + t + " a CROSS JOIN DPERIODO b");
        out.push_back("SELECT * FROM " + t + " NATURAL JOIN DCLIENTE");
        out.push_back("SELECT * FROM DCLIENTE LEFT JOIN " + base + " ON 1 = 1");
        if (pg) {
            out.push_back("SELECT n_live_tup FROM pg_stat_user_tables WHERE relname = '" + lower(t) + "'");
            out.push_back("SELECT reltuples::bigint FROM pg_class WHERE relname = '" + lower(t) + "'");
            out.push_back("SELECT c.* FROM pg_catalog.pg_class c WHERE relname = '" + lower(t) + "'");
            out.push_back("SELECT * FROM pg_stats WHERE tablename = '" + lower(t) + "'");
        }
    }
    std::vector<std::string> schemaReads =
        pg ? std::vector<std::string>{"SELECT tablename FROM pg_tables WHERE schemaname = 'public'", "SELECT * FROM pg_policies",
                                      "SELECT table_name FROM information_schema.tables WHERE table_schema = 'public'",
                                      "SELECT * FROM QELOPERADOR", "SELECT * FROM public.qeloperador",
                                      "WITH QELOPERADOR AS (SELECT * FROM public.QELOPERADOR) SELECT * FROM QELOPERADOR",
                                      "SELECT relname, n_live_tup FROM pg_stat_all_tables", "SELECT * FROM pg_statio_user_tables"}
           : std::vector<std::string>{"SELECT type, name, tbl_name, sql FROM sqlite_master", "SELECT * FROM sqlite_schema",
                                      "SELECT * FROM sqlite_temp_master", "SELECT * FROM temp.sqlite_master", "SELECT * FROM temp.sqlite_schema",
                                      "SELECT * FROM sqlite_temp_schema", "SELECT name FROM pragma_table_list", "SELECT * FROM pragma_database_list",
                                      "SELECT * FROM QELOPERADOR", "SELECT * FROM main.QELOPERADOR",
                                      "WITH QELOPERADOR AS (SELECT * FROM main.QELOPERADOR) SELECT * FROM QELOPERADOR",
                                      "SELECT * FROM sqlite_dbpage", "SELECT * FROM dbstat"};
    out.insert(out.end(), schemaReads.begin(), schemaReads.end());

    // Random compositions: each piece yields one column named v, so any two compose.
    std::mt19937 rng(seed);
    int alias = 0;
    auto as = [&] { return " AS s" + std::to_string(++alias); };
    auto pick = [&](const std::vector<std::string>& v) -> const std::string& { return v[rng() % v.size()]; };
    std::function<std::string(int, std::string&)> piece = [&](int depth, std::string& table) -> std::string {
        int form = depth <= 0 ? 0 : static_cast<int>(rng() % 9);
        switch (form) {
            case 0: {
                table = pick(all);
                std::vector<std::string> sp = spellings(table, dialect);
                return "SELECT " + column(table, rng()) + " AS v FROM " + sp[rng() % (sp.size() - 1)];  // the temporary schema aside
            }
            case 1: {  // a CTE, often named like the table its body reads
                std::string inner = piece(depth - 1, table);
                std::string name = rng() % 3 ? (rng() % 2 ? table : lower(table)) : "c" + std::to_string(rng() % 9);
                const char* how = rng() % 3 == 0 ? " AS MATERIALIZED " : " AS ";
                return "WITH " + name + how + "(" + inner + ") SELECT v FROM " + name;
            }
            case 2: return "SELECT v FROM (" + piece(depth - 1, table) + ")" + as();
            case 3: return "SELECT (SELECT count(*) FROM (" + piece(depth - 1, table) + ")" + as() + ") AS v";
            case 4: {
                std::string other;
                std::string a = piece(depth - 1, table), b = piece(depth - 1, other);
                const char* ops[] = {" UNION ", " UNION ALL ", " INTERSECT ", " EXCEPT "};
                // Text on both sides, whatever the columns' types.
                return "SELECT CAST(v AS TEXT) AS v FROM (" + a + ")" + as() + ops[rng() % 4] + "SELECT CAST(v AS TEXT) FROM (" + b + ")" + as();
            }
            case 5: {
                std::string other;
                std::string a = piece(depth - 1, table), b = piece(depth - 1, other);
                return "SELECT x.v AS v FROM (" + a + ") x JOIN (" + b + ") y ON CAST(x.v AS TEXT)" + same + "CAST(y.v AS TEXT)";
            }
            case 6: return "WITH RECURSIVE r(v) AS (" + piece(depth - 1, table) + " UNION SELECT v FROM r) SELECT v FROM r";
            case 7: {
                std::string inner = piece(depth - 1, table);
                std::vector<std::string> sp = spellings(table, dialect);
                return "SELECT " + column(table, 0) + " AS v FROM " + sp[rng() % (sp.size() - 1)] + " WHERE CAST(" + column(table, 0) +
                       " AS TEXT) IN (SELECT CAST(v AS TEXT) FROM (" + inner + ")" + as() + ")";
            }
            default: return "SELECT max(v) AS v FROM (" + piece(depth - 1, table) + ")" + as() + " GROUP BY v IS NULL";
        }
    };
    for (size_t i = 0; i < generated; ++i) {
        std::string table;
        std::string sql = piece(1 + static_cast<int>(rng() % 4), table);
        switch (rng() % 4) {
            case 0: sql = "SELECT v, count(*) OVER (PARTITION BY v) FROM (" + sql + ")" + as(); break;
            case 1: sql = "SELECT v, count(*) FROM (" + sql + ")" + as() + " GROUP BY v"; break;
            default: break;
        }
        out.push_back(sql);
    }
    return out;
}

OracleAnswer AskServer(const std::string& address, const std::optional<std::string>& op, const std::string& sql, const std::string& token) {
    auto colon = address.rfind(':');
    httplib::Client c(address.substr(0, colon), std::stoi(address.substr(colon + 1)));
    c.set_read_timeout(60, 0);
    httplib::Headers headers;
    if (op) headers.emplace("X-Qel-Operador", *op);
    if (!token.empty()) headers.emplace("Authorization", "Bearer " + token);
    auto res = c.Post("/QEL00100.rdmOpcoesDW/getInfo", headers, J{{"args", {sql}}}.dump(), "application/json");
    if (!res) throw std::runtime_error("no answer from the server");
    J body = J::parse(res->body);
    OracleAnswer a;
    const J& result = body["result"];
    if (!result.value("ok", false)) {
        a.error = result.value("error", "?");
        return a;
    }
    a.ok = true;
    a.columns = result["data"]["fields"].size();
    for (const J& r : result["data"]["rows"]) {
        std::vector<std::string> row;
        for (const J& v : r) row.push_back(v.is_null() ? "" : normal(v.is_string() ? v.get<std::string>() : v.dump()));
        a.rows.push_back(std::move(row));
    }
    std::sort(a.rows.begin(), a.rows.end());
    return a;
}

OracleAnswer AskDirect(SqlConnection& db, const std::string& sql) {
    OracleAnswer a;
    try {
        SqlResult r = db.Query(sql);
        a.columns = r.columns.size();
        for (const auto& row : r.rows) {
            std::vector<std::string> out;
            for (size_t i = 0; i < a.columns; ++i) out.push_back(normal(std::string(row.at(i))));
            a.rows.push_back(std::move(out));
        }
        a.ok = true;
    } catch (const std::exception& e) {
        a.error = e.what();
    }
    std::sort(a.rows.begin(), a.rows.end());
    return a;
}

std::string ShowAnswer(const OracleAnswer& a) {
    if (!a.ok) return "refused: " + a.error;
    return std::to_string(a.rows.size()) + " rows " + J(a.rows).dump().substr(0, 400);
}

void ExpectAnswersOfTheOracle(const std::string& address, const std::optional<std::string>& op, const std::vector<std::string>& corpus,
                              SqlConnection& oracle, const std::vector<std::string>& plainReads) {
    size_t answered = 0, leaks = 0;
    for (const std::string& sql : corpus) {
        OracleAnswer ours = AskServer(address, op, sql);
        if (!ours.ok) continue;
        ++answered;
        OracleAnswer truth = AskDirect(oracle, sql);
        bool same = truth.ok && ours.rows == truth.rows && ours.columns == truth.columns;
        if (!same && ++leaks <= 8)
            ADD_FAILURE() << "statement: " << sql << "\n  server: " << ShowAnswer(ours) << "\n  oracle: " << ShowAnswer(truth);
    }
    EXPECT_EQ(leaks, 0u);
    std::printf("%s: %zu of %zu statements answered as the oracle does, the rest refused\n", op.value_or("(none named)").c_str(), answered,
                corpus.size());
    EXPECT_GT(answered, corpus.size() / 3) << "too much refused";
    for (const std::string& sql : plainReads) {
        OracleAnswer ours = AskServer(address, op, sql), truth = AskDirect(oracle, sql);
        EXPECT_TRUE(ours.ok && ours.rows == truth.rows) << sql << "\n  server: " << ShowAnswer(ours) << "\n  oracle: " << ShowAnswer(truth);
    }
}

std::string OracleWarehouse(unsigned seed) {
    std::string sql;
    for (const char* f : {"catalogue_schema.sql", "access_rules_schema.sql", "operators_schema.sql", "warehouse.sql"})
        sql += ReadFile(std::string(QEL_DEMO_DIR) + "/" + f) + "\n";
    std::mt19937 rng(seed);
    auto pick = [&](std::vector<std::string> v) { return v[rng() % v.size()]; };
    sql += "BEGIN;\n";
    for (int i = 0; i < 1200; ++i) {
        std::string filial = rng() % 40 == 0 ? "NULL" : quoted(pick({"01", "02", "03", "04", "05"}));
        sql += "INSERT INTO FVENDA VALUES (" + quoted(pick({"P01", "P02", "P03", "P04", "P05"})) + "," + quoted(pick({"C01", "C02", "C03"})) + "," +
               filial + "," + quoted(pick({"202601", "202602", "202603"})) + "," + quoted(pick({"V01", "V02"})) + "," +
               quoted(pick({"01", "03"})) + "," + std::to_string(rng() % 400) + ".25," + std::to_string(rng() % 9) + ");\n";
    }
    for (int i = 0; i < 200; ++i)
        sql += "INSERT INTO FESTOQ VALUES (" + quoted(pick({"P01", "P02", "P03"})) + "," + quoted(pick({"01", "02", "03", "04"})) + "," +
               quoted(pick({"202601", "202602"})) + "," + quoted(pick({"F01", "F02", "F03"})) + "," + std::to_string(rng() % 50) + ");\n";
    sql += "INSERT INTO DIMEODWOPER VALUES ('PEDRO');\n"
           "INSERT INTO FILDIMEOPER VALUES ('3', 'PEDRO', '05'), ('1', 'PEDRO', 'P05'), ('3', 'JOAO', '05');\n"
           "INSERT INTO OPERGRUPOP VALUES ('LUCIA', 'NORTE'), ('MARIA', 'SUL');\n"
           "INSERT INTO FILDIMEGRUPOP VALUES ('3', 'NORTE', '02'), ('1', 'NORTE', 'P02');\n"
           "COMMIT;\n";
    return sql;
}

void KeepOnlyRowsOf(SqlConnection& db, const std::optional<std::string>& op) {
    auto rows = [&](const std::string& sql) {
        std::vector<std::vector<std::string>> out;
        SqlResult r = db.Query(sql);
        for (const auto& row : r.rows) {
            std::vector<std::string> v;
            for (size_t i = 0; i < r.columns.size(); ++i) v.push_back(std::string(row.at(i)));
            out.push_back(std::move(v));
        }
        return out;
    };
    // The rules as the README states them: a per-operator allow-list when the operator is in
    // DIMEODWOPER, else the union of the operator's groups' lists; a fact table keeps the rows whose
    // restricted columns hold allowed keys, a dimension's table its allowed keys, a summary its fact
    // table's rows (none when it lacks a restricted column); the rule tables, the operator's own rows.
    std::map<std::string, std::set<std::string>> allowed;  // restricted sequence -> keys
    const bool nobody = !op.has_value();
    const std::string me = quoted(op.value_or(""));
    if (!nobody) {
        bool perOperator = !rows("SELECT 1 FROM DIMEODWOPER WHERE CDOPERADOR = " + me).empty();
        auto lists = perOperator ? rows("SELECT NRSEQUEDIME, CDFILDIMEOPER FROM FILDIMEOPER WHERE CDOPERADOR = " + me)
                                 : rows("SELECT F.NRSEQUEDIME, F.CDFILDIMEGRUPOP FROM FILDIMEGRUPOP F JOIN OPERGRUPOP G "
                                        "ON G.CDGRUPOPER = F.CDGRUPOPER WHERE G.CDOPERADOR = " + me);
        for (auto& r : lists) allowed[r[0]].insert(r[1]);
    }
    auto links = rows("SELECT NRSEQUEDIME, CDTABELADW, CDITEMDIME FROM DIMENSAODW");
    auto dims = rows("SELECT NRSEQUEDIME, CDTABELADIME, DSPKDIME FROM DIMENSAODIME WHERE CDTABELADIME <> ''");
    std::vector<std::vector<std::string>> summaries;
    try {
        summaries = rows("SELECT CDTABELAAGR, CDTABELADW, DSCOLUNAS FROM QEL_AGREGADOS");
    } catch (const ESqlError&) {
        // a warehouse without summary tables
    }
    std::set<std::string> emptied;
    std::vector<std::string> statements;
    auto keep = [&](const std::string& table, const std::string& column, const std::string& seq) {
        if (nobody) return emptied.insert(table), void();
        if (!allowed.count(seq)) return;
        std::string in;
        for (const std::string& k : allowed[seq]) in += (in.empty() ? "" : ",") + quoted(k);
        statements.push_back("DELETE FROM " + table + " WHERE " + column + " IS NULL OR " + column + " NOT IN (" + in + ")");
    };
    for (auto& l : links) keep(l[1], l[2], l[0]);
    for (auto& d : dims) keep(d[1], d[2], d[0]);
    for (auto& s : summaries) {
        if (nobody) emptied.insert(s[0]);
        for (auto& l : links) {
            if (lower(l[1]) != lower(s[1]) || !allowed.count(l[0])) continue;
            if (("," + lower(s[2]) + ",").find("," + lower(l[2]) + ",") != std::string::npos) keep(s[0], l[2], l[0]);
            else emptied.insert(s[0]);
        }
    }
    for (const std::string& t : emptied) statements.push_back("DELETE FROM " + t);
    for (const char* t : {"FILDIMEOPER", "DIMEODWOPER", "OPERGRUPOP"})
        statements.push_back(std::string("DELETE FROM ") + t + " WHERE CDOPERADOR IS DISTINCT FROM " + me);
    statements.push_back("DELETE FROM FILDIMEGRUPOP WHERE CDGRUPOPER NOT IN (SELECT CDGRUPOPER FROM OPERGRUPOP WHERE CDOPERADOR = " + me + ")");
    for (const std::string& s : statements) db.Execute(s);
}

unsigned OracleSeed() {
    const char* given = std::getenv("QEL_ORACLE_SEED");
    unsigned seed = given ? static_cast<unsigned>(std::stoul(given)) : std::random_device{}();
    std::printf("row scope oracle seed %u (QEL_ORACLE_SEED=%u repeats it)\n", seed, seed);
    return seed;
}
