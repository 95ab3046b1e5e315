// A restricted operator's answers on SQLite against an oracle: for each operator, a copy of the
// warehouse holding only that operator's rows, and every statement of the corpus sent through
// getInfo as that operator answers exactly what the copy answers, or is refused.
#include <gtest/gtest.h>

#include <algorithm>

#include <filesystem>

#include "support/processes.hpp"
#include "support/row_scope_oracle.hpp"

namespace {

std::vector<std::string> column(SqlConnection& db, const std::string& sql) {
    std::vector<std::string> out;
    for (const auto& r : db.Query(sql).rows) out.push_back(std::string(r.at(0)));
    return out;
}

}  // namespace

TEST(RowScopeOracle, EveryStatementAnswersAsTheOperatorsOwnRowsDoOrIsRefused) {
    const unsigned seed = OracleSeed();
    SCOPED_TRACE("seed " + std::to_string(seed));
    TempDatabase warehouse(OracleWarehouse(seed));
    CommandResult built = RunCommand({QEL_BIN_DIR "/qelserver", "--db", warehouse.Path(), "--build-aggregates"});
    ASSERT_EQ(built.status, 0) << built.err;
    auto whole = OpenSqlite(warehouse.Path());
    const std::vector<std::string> summaries = column(*whole, "SELECT CDTABELAAGR FROM QEL_AGREGADOS");
    ASSERT_FALSE(summaries.empty()) << "the warehouse should have summary tables to probe";
    ServerProcess server(warehouse.Path(), {"--statement-timeout", "5"});  // a statement that long is refused: allowed

    OracleTables tables;
    tables.restricted = {"FVENDA", "FESTOQ", "FDEVOL", "DFILIAL", "DPRODUTO", "DFORNEC"};
    // A few summaries stand for all of them: each is guarded alike, and each costs a pass of the corpus.
    tables.restricted.insert(tables.restricted.end(), summaries.begin(), summaries.begin() + std::min<long>(3, static_cast<long>(summaries.size())));
    tables.open = {"DCLIENTE", "DPERIODO", "FADMIS", "AREANEGDW", "ITEMDW"};
    tables.rules = {"FILDIMEOPER", "DIMEODWOPER", "OPERGRUPOP", "FILDIMEGRUPOP"};
    for (const auto& group : {tables.restricted, tables.open, tables.rules})
        for (const std::string& t : group) tables.columns[t] = column(*whole, "SELECT name FROM pragma_table_info('" + t + "')");
    const std::vector<std::string> corpus = OracleCorpus(tables, OracleDialect::Sqlite, seed, 260);
    ASSERT_GE(corpus.size(), 300u);

    for (const std::optional<std::string>& op : {std::optional<std::string>("MARIA"), std::optional<std::string>("JOAO"),
                                                 std::optional<std::string>("PEDRO"), std::optional<std::string>("ADMIN"),
                                                 std::optional<std::string>()}) {
        SCOPED_TRACE("operator " + op.value_or("(none named)"));
        const std::string oraclePath = warehouse.Path() + ".oracle";
        std::filesystem::copy_file(warehouse.Path(), oraclePath, std::filesystem::copy_options::overwrite_existing);
        auto oracle = OpenSqlite(oraclePath);
        KeepOnlyRowsOf(*oracle, op);
        // The same names resolve alike on both sides: the server's session shadows tables in its
        // temporary schema, and so does the oracle's.
        for (const std::string& t : column(*oracle, "SELECT name FROM sqlite_master WHERE type = 'table' AND name <> 'QELOPERADOR'"))
            oracle->Execute("CREATE TEMP VIEW \"" + t + "\" AS SELECT * FROM main.\"" + t + "\"");
        ExpectAnswersOfTheOracle(server.Address(), op, corpus, *oracle,
                                 {"SELECT CDFILIAL, VLFATURADO FROM FVENDA", "SELECT * FROM DFILIAL", "SELECT * FROM " + summaries.front(), "SELECT * FROM FILDIMEOPER"});
        oracle.reset();
        std::filesystem::remove(oraclePath);
    }
}

TEST(RowScopeOracle, TheScopedViewsNamesCannotBeSpelledAndRefusalsSpeakPortuguese) {
    TempDatabase warehouse(OracleWarehouse(7));
    ServerProcess server(warehouse.Path());
    for (const std::string& sql : {std::string("WITH qel_escopo_x_FVENDA AS (SELECT * FROM main.FVENDA) SELECT * FROM qel_escopo_x_FVENDA"),
                                   std::string("SELECT * FROM \"QEL_ESCOPO_\"")}) {
        OracleAnswer a = AskServer(server.Address(), std::string("MARIA"), sql);
        EXPECT_FALSE(a.ok) << sql;
        EXPECT_NE(a.error.find("nome reservado"), std::string::npos) << a.error;
    }
    OracleAnswer a = AskServer(server.Address(), std::string("MARIA"), "SELECT VLFATURADO FROM main.FVENDA");
    EXPECT_FALSE(a.ok);
    EXPECT_NE(a.error.find("Acesso negado à coluna FVENDA.VLFATURADO"), std::string::npos) << a.error;
}
