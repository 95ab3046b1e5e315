// A restricted operator's answers on PostgreSQL against an oracle: the row policies must answer
// every statement of the corpus as a database holding only that operator's rows does, or refuse it.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/postgres.hpp"
#include "support/processes.hpp"
#include "support/row_scope_oracle.hpp"

namespace {

std::vector<std::string> column(SqlConnection& db, const std::string& sql) {
    std::vector<std::string> out;
    for (const auto& r : db.Query(sql).rows) out.push_back(std::string(r.at(0)));
    return out;
}

std::string loadedWarehouse(PostgresServer& pg, unsigned seed) {
    std::string owner = pg.CreateDatabase(OracleWarehouse(seed));
    CommandResult built = RunCommand({QEL_BIN_DIR "/qelserver", "--db", owner, "--build-aggregates"});
    if (built.status != 0) throw std::runtime_error("--build-aggregates: " + built.err);
    return owner;
}

}  // namespace

TEST(PostgresRowScopeOracle, EveryStatementAnswersAsTheOperatorsOwnRowsDoOrIsRefused) {
    const unsigned seed = OracleSeed();
    SCOPED_TRACE("seed " + std::to_string(seed));
    PostgresServer& pg = SharedPostgres();
    const std::string owner = loadedWarehouse(pg, seed);
    ServerProcess server(pg.ReaderUri(owner), {"--statement-timeout", "5"});  // a statement that long is refused: allowed
    auto whole = OpenPostgres(owner);
    const std::vector<std::string> summaries = column(*whole, "SELECT CDTABELAAGR FROM QEL_AGREGADOS");
    ASSERT_FALSE(summaries.empty());

    OracleTables tables;
    tables.restricted = {"FVENDA", "FESTOQ", "FDEVOL", "DFILIAL", "DPRODUTO", "DFORNEC"};
    // A few summaries stand for all of them: each is guarded alike, and each costs a pass of the corpus.
    tables.restricted.insert(tables.restricted.end(), summaries.begin(), summaries.begin() + std::min<long>(3, static_cast<long>(summaries.size())));
    tables.open = {"DCLIENTE", "DPERIODO", "FADMIS", "AREANEGDW", "ITEMDW"};
    tables.rules = {"FILDIMEOPER", "DIMEODWOPER", "OPERGRUPOP", "FILDIMEGRUPOP"};
    for (const auto& group : {tables.restricted, tables.open, tables.rules})
        for (const std::string& t : group)
            tables.columns[t] = column(*whole, "SELECT column_name FROM information_schema.columns WHERE table_schema = 'public' AND "
                                               "table_name = lower('" + t + "') ORDER BY ordinal_position");
    const std::vector<std::string> corpus = OracleCorpus(tables, OracleDialect::Postgres, seed, 200);
    ASSERT_GE(corpus.size(), 300u);

    for (const std::optional<std::string>& op : {std::optional<std::string>("MARIA"), std::optional<std::string>("JOAO"),
                                                 std::optional<std::string>("ADMIN"), std::optional<std::string>()}) {
        SCOPED_TRACE("operator " + op.value_or("(none named)"));
        auto oracle = OpenPostgres(loadedWarehouse(pg, seed));
        KeepOnlyRowsOf(*oracle, op);
        ExpectAnswersOfTheOracle(server.Address(), op, corpus, *oracle,
                                 {"SELECT CDFILIAL, VLFATURADO FROM FVENDA", "SELECT * FROM DFILIAL", "SELECT * FROM " + summaries.front(), "SELECT * FROM FILDIMEOPER"});
    }
}
