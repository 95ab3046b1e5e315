#include "bench_data.hpp"

#include <cctype>
#include <fstream>

#include "data/sql_connection.hpp"
#include "data/sql_text.hpp"
#include "fwk/host_bridge.hpp"
#include "services/cube.hpp"

namespace {

std::string scaled(int n, int scale) { return std::to_string(n * scale - 1); }

std::string sqlText(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}

class LastQuery : public FwkObserver {
public:
    void QueryOpened(const std::string& sql, const SqlParams& params) override {
        this->sql = sql;
        this->params = params;
    }
    std::string sql;
    SqlParams params;
};
LastQuery lastQuery;

// The bench's own catalogue tables (SQLite, untyped), its articles and districts, and the access-rule tables.
const std::string kCatalogueTables = R"(
CREATE TABLE AREANEGDW (NMAREANEGDW, CDAREANEGDW);
CREATE TABLE ITEMDW (CDTABELADW, CDITEMDW, NMITEMDW, CDAREANEGDW, DSHINTITEM, IDTPFATODW, CDTABDRILL);
CREATE TABLE DIMENSAODW (NRSEQUEDIME, CDTABELADW, CDITEMDIME);
CREATE TABLE DIMENSAODIME (NRSEQUEDIME, NMITEMDIME, CDTABELADIME, DSPKDIME, DSITEMDIME, DSPKDIME2);
INSERT INTO AREANEGDW VALUES ('Vendas', '01');
)";
const std::string kArticlesAndDistricts = R"(
CREATE TABLE DA (CDA, NMA);
WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 999)
INSERT INTO DA SELECT printf('A%04d', i), printf('Artigo %04d', 999 - i) FROM n;
CREATE TABLE DB (CDB, NMB);
WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 49)
INSERT INTO DB SELECT printf('B%02d', i), printf('Bairro %02d', i) FROM n;
)";
const std::string kRuleTables = R"(
CREATE TABLE DIMEODWOPER (CDOPERADOR);
CREATE TABLE FILDIMEOPER (NRSEQUEDIME, CDOPERADOR, CDFILDIMEOPER);
CREATE TABLE FILDIMEGRUPOP (NRSEQUEDIME, CDGRUPOPER, CDFILDIMEGRUPOP);
CREATE TABLE OPERGRUPOP (CDOPERADOR, CDGRUPOPER);
)";

}  // namespace

std::string LargeCatalogueSql(int scale) {
    const std::string dims = std::to_string(5000 * scale);
    return "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " + scaled(200, scale) +
           ") INSERT INTO AREANEGDW SELECT printf('Área de Negócio %05d', i), printf('%05d', i) FROM n;\n"
           "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " + scaled(20000, scale) +
           ") INSERT INTO ITEMDW SELECT printf('FT%06d', i), 'VLFATO', printf('Fato Analítico %05d', i), printf('%05d', i / 100),"
           " printf('Descrição do fato %06d do armazém de dados', i), 'V', '' FROM n;\n"
           "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " + scaled(5000, scale) +
           ") INSERT INTO DIMENSAODIME SELECT i + 1, printf('Dimensão %05d', i), printf('DT%05d', i), 'CDMEMBRO', 'NMMEMBRO', '' FROM n;\n"
           // Ten links a fact table; neighbouring facts share most of their dimensions.
           "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " + scaled(200000, scale) +
           ") INSERT INTO DIMENSAODW SELECT ((i / 10) / 20 * 7 + (i % 10) * 131) % " + dims + " + 1, printf('FT%06d', i / 10),"
           " printf('CDD%05d', ((i / 10) / 20 * 7 + (i % 10) * 131) % " + dims + ") FROM n;\n";
}

std::string MemberTableSql() {
    return "CREATE TABLE DBIG (CDMEMBRO VARCHAR(10), NMMEMBRO VARCHAR(40));\n"
           "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 999999)"
           " INSERT INTO DBIG SELECT printf('M%06d', i % 100000), printf('Membro %06d', (i * 7919) % 100000) FROM n;\n";
}

std::string FactTableSql(long rows) {
    return kCatalogueTables + R"(
INSERT INTO ITEMDW VALUES ('FBIG', 'VL', 'Valor', '01', '', 'V', '');
INSERT INTO DIMENSAODIME VALUES ('1', 'Artigo', 'DA', 'CDA', 'NMA', ''), ('2', 'Bairro', 'DB', 'CDB', 'NMB', ''),
  ('3', 'Mês', '', '', '', '');
INSERT INTO DIMENSAODW VALUES ('1', 'FBIG', 'CDA'), ('2', 'FBIG', 'CDB'), ('3', 'FBIG', 'CDC');
)" + kArticlesAndDistricts + R"(
CREATE TABLE FBIG (CDA, CDB, CDC, VL);
WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < )" + std::to_string(rows - 1) + R"()
INSERT INTO FBIG SELECT printf('A%04d', i % 1000), printf('B%02d', (i / 7) % 50), printf('2026-%02d', (i / 13) % 12 + 1),
  (i % 97) * 1.5 FROM n;
)" + kRuleTables + R"(
-- RESTRITO may see every Bairro: the same rows as ADMIN, through the rules.
INSERT INTO DIMEODWOPER VALUES ('RESTRITO');
INSERT INTO FILDIMEOPER SELECT '2', 'RESTRITO', CDB FROM DB;
)";
}

std::string MemberTableSqlPostgres() {
    return "CREATE TABLE DBIG (CDMEMBRO VARCHAR(10), NMMEMBRO VARCHAR(40));\n"
           "INSERT INTO DBIG SELECT 'M' || lpad((i % 100000)::text, 6, '0'), 'Membro ' || lpad(((i::bigint * 7919) % 100000)::text, 6, '0')"
           " FROM generate_series(0, 999999) i;\nANALYZE DBIG;\n";
}

std::string FactTableSqlPostgres(long rows) {
    return R"(
CREATE TABLE AREANEGDW (NMAREANEGDW VARCHAR(30), CDAREANEGDW VARCHAR(5));
CREATE TABLE ITEMDW (CDTABELADW VARCHAR(20), CDITEMDW VARCHAR(30), NMITEMDW VARCHAR(30), CDAREANEGDW VARCHAR(5),
  DSHINTITEM VARCHAR(200), IDTPFATODW CHAR(1), CDTABDRILL VARCHAR(30));
CREATE TABLE DIMENSAODW (NRSEQUEDIME VARCHAR(5), CDTABELADW VARCHAR(20), CDITEMDIME VARCHAR(30));
CREATE TABLE DIMENSAODIME (NRSEQUEDIME VARCHAR(5), NMITEMDIME VARCHAR(30), CDTABELADIME VARCHAR(30), DSPKDIME VARCHAR(30),
  DSITEMDIME VARCHAR(30), DSPKDIME2 VARCHAR(30));
INSERT INTO AREANEGDW VALUES ('Vendas', '01');
INSERT INTO ITEMDW VALUES ('FBIG', 'VL', 'Valor', '01', '', 'V', '');
INSERT INTO DIMENSAODIME VALUES ('1', 'Artigo', 'DA', 'CDA', 'NMA', ''), ('2', 'Bairro', 'DB', 'CDB', 'NMB', ''),
  ('3', 'Mês', '', '', '', '');
INSERT INTO DIMENSAODW VALUES ('1', 'FBIG', 'CDA'), ('2', 'FBIG', 'CDB'), ('3', 'FBIG', 'CDC');
CREATE TABLE DA (CDA VARCHAR(10), NMA VARCHAR(40));
INSERT INTO DA SELECT 'A' || lpad(i::text, 4, '0'), 'Artigo ' || lpad((999 - i)::text, 4, '0') FROM generate_series(0, 999) i;
CREATE TABLE DB (CDB VARCHAR(10), NMB VARCHAR(40));
INSERT INTO DB SELECT 'B' || lpad(i::text, 2, '0'), 'Bairro ' || lpad(i::text, 2, '0') FROM generate_series(0, 49) i;
CREATE TABLE FBIG (CDA VARCHAR(10), CDB VARCHAR(10), CDC VARCHAR(10), VL NUMERIC);
INSERT INTO FBIG SELECT 'A' || lpad((i % 1000)::text, 4, '0'), 'B' || lpad(((i / 7) % 50)::text, 2, '0'),
  '2026-' || lpad(((i / 13) % 12 + 1)::text, 2, '0'), (i % 97) * 1.5 FROM generate_series(0, )" + std::to_string(rows - 1) + R"() i;
CREATE TABLE DIMEODWOPER (CDOPERADOR VARCHAR(20));
CREATE TABLE FILDIMEOPER (NRSEQUEDIME VARCHAR(5), CDOPERADOR VARCHAR(20), CDFILDIMEOPER VARCHAR(30));
CREATE TABLE FILDIMEGRUPOP (NRSEQUEDIME VARCHAR(5), CDGRUPOPER VARCHAR(20), CDFILDIMEGRUPOP VARCHAR(30));
CREATE TABLE OPERGRUPOP (CDOPERADOR VARCHAR(20), CDGRUPOPER VARCHAR(20));
INSERT INTO DIMEODWOPER VALUES ('RESTRITO');
INSERT INTO FILDIMEOPER SELECT '2', 'RESTRITO', CDB FROM DB;
ANALYZE;
)";
}

void ViewOverFacts() {
    for (TStringList* l : {&Fatos, &Linhas, &treeLinhas, &Colunas, &treeColunas, &Paginas, &treePaginas, &stlDSfiltro, &stlCDfiltro}) l->Clear();
    Fatos.Add("Valor");
    Linhas.Add("Artigo");
    Linhas.Add("Bairro");
    Colunas.Add("Mês");
    std::string selection;
    for (int i = 0; i < 1000; i += 5) {
        char key[16];
        std::snprintf(key, sizeof key, "A%04d", i);
        if (!selection.empty()) selection += ",";
        selection += sqlText(key);
    }
    stlDSfiltro.Add("Artigo");
    stlCDfiltro.Add(selection);
    SetFwkObserver(&lastQuery);
}

std::string GridFactSql() {
    return kCatalogueTables + R"(
INSERT INTO ITEMDW VALUES ('FGRID', 'VL', 'Valor', '01', '', 'V', '');
INSERT INTO DIMENSAODIME VALUES ('1', 'Artigo', 'DA', 'CDA', 'NMA', ''), ('2', 'Bairro', 'DB', 'CDB', 'NMB', ''),
  ('3', 'Mês', '', '', '', ''), ('4', 'Filial', '', '', '', '');
INSERT INTO DIMENSAODW VALUES ('1', 'FGRID', 'CDA'), ('2', 'FGRID', 'CDB'), ('3', 'FGRID', 'CDC'), ('4', 'FGRID', 'CDF');
)" + kArticlesAndDistricts + R"(
CREATE TABLE FGRID (CDA, CDB, CDC, CDF, VL);
WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 2399999)
INSERT INTO FGRID SELECT printf('A%04d', i / 2400), printf('B%02d', i / 48 % 50), printf('2026-%02d', i / 4 % 12 + 1),
  printf('F%d', i % 4), (i % 97) * 1.5 FROM n;
)" + kRuleTables + R"(
)";
}

const std::string& LastViewStatement() { return lastQuery.sql; }

std::string Thousands(long long n) {
    std::string digits = std::to_string(n), out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::string LastViewStatementForShell() {
    // The viewer reads a large table in two halves at once: the shell is given the whole table's
    // statement, as one would run it.
    std::string sql = lastQuery.sql;
    const std::string range = "F.rowid > CAST(:DE AS INTEGER) AND F.rowid <= CAST(:ATE AS INTEGER)";
    if (size_t at = sql.find(" AND " + range); at != std::string::npos) sql.erase(at, range.size() + 5);
    else if (size_t at2 = sql.find(" WHERE " + range); at2 != std::string::npos) sql.erase(at2, range.size() + 7);
    std::string script = ".output /dev/null\n";
    for (auto& [name, value] : lastQuery.params)
        if (name != "DE" && name != "ATE") script += ".parameter set :" + name + " " + sqlText(value) + "\n";
    return script + sql + ";\n";
}

std::string LastViewStatementForClickHouse() {
    return ReplaceSqlParameters(lastQuery.sql, [](const std::string& name) { return ClickHouseLiteral(lastQuery.params.at(name)); });
}

std::string LastViewStatementForPsql() {
    // The viewer's parameters are :F0, :F1... in order: $1, $2... for a prepared statement.
    std::string sql = lastQuery.sql, out;
    for (size_t i = 0; i < sql.size();) {
        if (sql.compare(i, 2, ":F") == 0 && i + 2 < sql.size() && std::isdigit(static_cast<unsigned char>(sql[i + 2]))) {
            size_t end = i + 2;
            while (end < sql.size() && std::isdigit(static_cast<unsigned char>(sql[end]))) ++end;
            out += "$" + std::to_string(std::stoi(sql.substr(i + 2, end - i - 2)) + 1);
            i = end;
        } else {
            out += sql[i++];
        }
    }
    std::string args;
    for (size_t k = 0; k < lastQuery.params.size(); ++k) {
        if (k) args += ",";
        args += sqlText(lastQuery.params.at("F" + std::to_string(k)));
    }
    return "\\o /dev/null\nPREPARE vista AS " + out + ";\nEXECUTE vista(" + args + ");\n";
}

std::string CpuModel() {
    std::ifstream f("/proc/cpuinfo");
    for (std::string line; std::getline(f, line);)
        if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
    return "unknown processor";
}

FactColumns LoadFactColumns(const std::string& db) {
    FactColumns f;
    auto c = OpenSqlConnection(db, true);
    class Sink : public SqlRowSink {
    public:
        explicit Sink(FactColumns& f) : f_(f) {}
        void Columns(const std::vector<SqlColumn>&) override {}
        void Row(const SqlValue* v) override {
            auto code = [](std::string_view s, size_t skip) { return static_cast<uint16_t>(std::stoi(std::string(s.substr(skip)))); };
            f_.article.push_back(code(v[0].bytes, 1));  // A0123
            f_.district.push_back(code(v[1].bytes, 1));  // B07
            f_.month.push_back(static_cast<uint16_t>(code(v[2].bytes, 5) - 1));  // 2026-03
            f_.value.push_back(std::stod(std::string(v[3].bytes)));
        }

    private:
        FactColumns& f_;
    } sink(f);
    c->Stream("SELECT CDA, CDB, CDC, VL FROM FBIG", {}, true, sink);
    return f;
}

size_t FloorPass(const FactColumns& f) {
    constexpr size_t kCells = 1000 * 50 * 12;
    std::vector<double> sums(kCells, 0.0);
    std::vector<uint8_t> seen(kCells, 0);
    const size_t n = f.value.size();
    for (size_t i = 0; i < n; ++i) {
        if (f.article[i] % 5 != 0) continue;  // the view's member filter: every fifth article
        const size_t cell = (static_cast<size_t>(f.article[i]) * 50 + f.district[i]) * 12 + f.month[i];
        sums[cell] += f.value[i];
        seen[cell] = 1;
    }
    size_t filled = 0;
    for (uint8_t s : seen) filled += s;
    return filled;
}
