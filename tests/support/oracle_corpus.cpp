#include "oracle_corpus.hpp"

#include <algorithm>
#include <cctype>
#include <functional>
#include <random>

namespace {

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Every way to name a table in SQLite.
std::vector<std::string> spellings(const std::string& t) {
    return {t, "main." + t, "\"" + t + "\"", "[" + t + "]", "`" + t + "`", lower(t), "\"main\".\"" + t + "\"", "MAIN." + lower(t),
            "temp." + t, "Main.[" + t + "]"};
}

}  // namespace

std::vector<std::string> OracleCorpus(const OracleTables& tables, unsigned seed, size_t generated) {
    std::vector<std::string> all = tables.restricted;
    all.insert(all.end(), tables.open.begin(), tables.open.end());
    all.insert(all.end(), tables.rules.begin(), tables.rules.end());
    auto column = [&](const std::string& t, size_t i) {
        auto it = tables.columns.find(t);
        if (it == tables.columns.end() || it->second.empty()) return std::string("1");
        return it->second[i % it->second.size()];
    };
    std::vector<std::string> out;
    for (const std::string& t : all) {
        const std::string c0 = column(t, 0), c1 = column(t, 1);
        for (const std::string& s : spellings(t)) {
            out.push_back("SELECT * FROM " + s);
            out.push_back("SELECT count(*), count(" + c0 + ") FROM " + s);
        }
        out.push_back("WITH " + t + " AS (SELECT * FROM main." + t + ") SELECT * FROM " + t);
        out.push_back("WITH " + lower(t) + " AS (SELECT * FROM \"main\".\"" + t + "\") SELECT count(*) FROM " + lower(t));
        out.push_back("WITH \"" + t + "\" AS MATERIALIZED (SELECT * FROM main." + t + ") SELECT " + c0 + " FROM \"" + t + "\"");
        out.push_back("WITH " + t + " AS NOT MATERIALIZED (SELECT " + c0 + " FROM main." + t + ") SELECT * FROM " + t);
        out.push_back("WITH a AS (WITH " + t + " AS (SELECT * FROM main." + t + ") SELECT * FROM " + t + ") SELECT * FROM a");
        out.push_back("WITH RECURSIVE " + t + "(n) AS (SELECT (SELECT count(*) FROM main." + t + ") UNION ALL SELECT n - 1 FROM " + t +
                      " WHERE n > 0) SELECT max(n) FROM " + t);
        out.push_back("WITH RECURSIVE r(v) AS (SELECT " + c0 + " FROM main." + t + " UNION SELECT v FROM r) SELECT * FROM r");
        out.push_back("SELECT (SELECT count(*) FROM main." + t + "), (SELECT max(" + c0 + ") FROM " + t + ")");
        out.push_back("SELECT * FROM (SELECT * FROM (SELECT * FROM main." + t + "))");
        out.push_back("SELECT " + c0 + ", count(*) OVER (PARTITION BY " + c0 + "), row_number() OVER (ORDER BY " + c0 + ", " + c1 +
                      ") IS NOT NULL FROM " + t);
        out.push_back("SELECT " + c0 + " FROM " + t + " UNION SELECT " + c0 + " FROM main." + t);
        out.push_back("SELECT " + c0 + " FROM main." + t + " EXCEPT SELECT " + c0 + " FROM " + t);
        out.push_back("SELECT " + c0 + " FROM " + t + " INTERSECT SELECT " + c0 + " FROM \"" + t + "\"");
        out.push_back("SELECT value FROM json_each((SELECT json_group_array(" + c0 + ") FROM main." + t + "))");
        out.push_back("SELECT x." + c0 + " FROM " + t + " x WHERE EXISTS (SELECT 1 FROM main." + t + " y WHERE y." + c0 + " IS x." + c0 + ")");
        out.push_back("SELECT " + c0 + " FROM DCLIENTE WHERE " + c0 + " IN (SELECT " + c0 + " FROM main." + t + ")");
        out.push_back("SELECT * FROM pragma_table_info('" + t + "')");
        out.push_back("SELECT count(*) FROM " + t + " a CROSS JOIN DPERIODO b");
        out.push_back("SELECT * FROM " + t + " NATURAL JOIN DCLIENTE");
        out.push_back("SELECT * FROM DCLIENTE LEFT JOIN main." + t + " ON 1 = 1");
    }
    for (const char* s : {"SELECT type, name, tbl_name, sql FROM sqlite_master", "SELECT * FROM sqlite_schema", "SELECT * FROM sqlite_temp_master",
                          "SELECT * FROM temp.sqlite_master", "SELECT * FROM temp.sqlite_schema", "SELECT * FROM sqlite_temp_schema",
                          "SELECT name FROM pragma_table_list", "SELECT * FROM pragma_database_list", "SELECT * FROM QELOPERADOR",
                          "SELECT * FROM main.QELOPERADOR", "WITH QELOPERADOR AS (SELECT * FROM main.QELOPERADOR) SELECT * FROM QELOPERADOR",
                          "SELECT sqlite_version() IS NOT NULL", "SELECT * FROM sqlite_dbpage", "SELECT * FROM dbstat"})
        out.push_back(s);

    // Random compositions: each piece yields one column named v, so any two compose.
    std::mt19937 rng(seed);
    auto pick = [&](const std::vector<std::string>& v) -> const std::string& { return v[rng() % v.size()]; };
    std::function<std::string(int, std::string&)> piece = [&](int depth, std::string& table) -> std::string {
        int form = depth <= 0 ? 0 : static_cast<int>(rng() % 9);
        switch (form) {
            case 0: {
                table = pick(all);
                std::vector<std::string> sp = spellings(table);
                return "SELECT " + column(table, rng()) + " AS v FROM " + sp[rng() % (sp.size() - 1)];  // temp. aside
            }
            case 1: {  // a CTE, often named like the table its body reads
                std::string inner = piece(depth - 1, table);
                std::string name = rng() % 3 ? (rng() % 2 ? table : lower(table)) : "c" + std::to_string(rng() % 9);
                const char* how = rng() % 3 == 0 ? " AS MATERIALIZED " : " AS ";
                return "WITH " + name + how + "(" + inner + ") SELECT v FROM " + name;
            }
            case 2: return "SELECT v FROM (" + piece(depth - 1, table) + ")";
            case 3: return "SELECT (SELECT count(*) FROM (" + piece(depth - 1, table) + ")) AS v";
            case 4: {
                std::string other;
                std::string a = piece(depth - 1, table), b = piece(depth - 1, other);
                const char* ops[] = {" UNION ", " UNION ALL ", " INTERSECT ", " EXCEPT "};
                return "SELECT * FROM (" + a + ")" + ops[rng() % 4] + "SELECT * FROM (" + b + ")";
            }
            case 5: {
                std::string other;
                return "SELECT a.v AS v FROM (" + piece(depth - 1, table) + ") a JOIN (" + piece(depth - 1, other) + ") b ON a.v IS b.v";
            }
            case 6: return "WITH RECURSIVE r(v) AS (" + piece(depth - 1, table) + " UNION SELECT v FROM r) SELECT v FROM r";
            case 7: {
                std::string inner = piece(depth - 1, table);
                std::vector<std::string> sp = spellings(table);
                return "SELECT " + column(table, 0) + " AS v FROM " + sp[rng() % (sp.size() - 1)] + " WHERE " + column(table, 0) +
                       " IN (" + inner + ")";
            }
            default: return "SELECT max(v) AS v FROM (" + piece(depth - 1, table) + ") GROUP BY v IS NULL";
        }
    };
    for (size_t i = 0; i < generated; ++i) {
        std::string table;
        std::string sql = piece(1 + static_cast<int>(rng() % 4), table);
        switch (rng() % 4) {
            case 0: sql = "SELECT v, count(*) OVER (PARTITION BY v) FROM (" + sql + ")"; break;
            case 1: sql = "SELECT v, count(*) FROM (" + sql + ") GROUP BY v"; break;
            default: break;
        }
        out.push_back(sql);
    }
    return out;
}
