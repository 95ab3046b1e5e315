// A restricted operator's answers on ClickHouse against an oracle: a ClickHouse database copied from
// a warehouse holding only that operator's rows must answer every statement of the corpus as the
// server's copies for that operator do, or the statement is refused.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/clickhouse.hpp"
#include "support/processes.hpp"
#include "support/row_scope_oracle.hpp"

namespace {

std::vector<std::string> column(SqlConnection& db, const std::string& sql) {
    std::vector<std::string> out;
    for (const auto& r : db.Query(sql).rows) out.push_back(std::string(r.at(0)));
    return out;
}

void copyInto(const std::string& clickhouse, const std::string& sqlite) {
    CommandResult copied = RunCommand({QEL_BIN_DIR "/qelserver", "--db", clickhouse, "--copy-from", sqlite});
    if (copied.status != 0) throw std::runtime_error("--copy-from: " + copied.err + copied.out);
}

}  // namespace

TEST(ClickHouseRowScopeOracle, EveryStatementAnswersAsTheOperatorsOwnRowsDoOrIsRefused) {
    const unsigned seed = OracleSeed();
    SCOPED_TRACE("seed " + std::to_string(seed));
    TempDatabase warehouse(OracleWarehouse(seed));
    ClickHouseServer clickhouse;
    const std::string owner = clickhouse.CreateDatabase();
    copyInto(owner, warehouse.Path());
    ServerProcess server(ClickHouseServer::ReaderUri(owner),
                         {"--clickhouse-owner", owner, "--clickhouse-config", clickhouse.ConfigDir()});

    OracleTables tables;
    tables.restricted = {"FVENDA", "FESTOQ", "FDEVOL", "DFILIAL", "DPRODUTO", "DFORNEC"};
    tables.open = {"DCLIENTE", "DPERIODO", "FADMIS", "AREANEGDW"};
    tables.rules = {"FILDIMEOPER", "DIMEODWOPER", "OPERGRUPOP", "FILDIMEGRUPOP"};
    tables.database = owner.substr(owner.rfind('/') + 1);
    auto whole = OpenClickHouse(owner);
    for (const auto& group : {tables.restricted, tables.open, tables.rules})
        for (const std::string& t : group)
            tables.columns[t] = column(*whole, "SELECT name FROM system.columns WHERE database = '" + tables.database + "' AND table = '" + t + "'");
    const std::vector<std::string> corpus = OracleCorpus(tables, OracleDialect::ClickHouse, seed, 120);
    ASSERT_GE(corpus.size(), 250u);

    for (const std::string op : {"MARIA", "JOAO"}) {
        SCOPED_TRACE("operator " + op);
        const std::string oraclePath = warehouse.Path() + ".oracle";
        std::filesystem::copy_file(warehouse.Path(), oraclePath, std::filesystem::copy_options::overwrite_existing);
        KeepOnlyRowsOf(*OpenSqlite(oraclePath), op);
        const std::string oracleUri = clickhouse.CreateDatabase();
        copyInto(oracleUri, oraclePath);
        std::filesystem::remove(oraclePath);
        auto oracle = OpenClickHouse(oracleUri);
        ExpectAnswersOfTheOracle(server.Address(), op, corpus, *oracle,
                                 {"SELECT CDFILIAL, VLFATURADO FROM FVENDA", "SELECT * FROM DFILIAL", "SELECT * FROM FILDIMEOPER"});
        if (::testing::Test::HasFailure()) std::cerr << server.Log();
    }
}
