// The read-only guards as an attacker meets them: PostgreSQL's name check whatever the spelling, and
// a SQLite connection whose row scope could not be built, which must refuse the restricted tables
// rather than read them whole.
#include <gtest/gtest.h>

#include <filesystem>

#include "data/pg_guard.hpp"
#include "data/sql_connection.hpp"

TEST(PostgresGuard, ForbiddenNamesAreFoundInAnyUnquotedCaseAndStatisticsAreAmongThem) {
    struct Case {
        const char* sql;
        const char* found;  // "" when the statement passes
    };
    const Case cases[] = {
        {"SELECT PG_READ_FILE('/etc/hostname')", "pg_read_file"},
        {"SELECT Pg_Read_File('/etc/hostname')", "pg_read_file"},
        {"SELECT \"PG_READ_FILE\"('/etc/hostname')", ""},  // quoted: another name, which PostgreSQL would not find
        {"SELECT n_live_tup FROM PG_STAT_USER_TABLES", "pg_stat_user_tables"},
        {"SELECT * FROM pg_catalog.pg_statio_user_tables", "pg_statio_user_tables"},
        {"SELECT reltuples FROM pg_class", "reltuples"},
        {"SELECT c.* FROM pg_catalog.pg_class c", "pg_class"},
        {"SELECT pg_total_relation_size('fvenda')", "pg_total_relation_size"},
        {"SELECT * FROM pg_policies", "pg_policies"},
        {"SELECT * FROM QelOperador", "qeloperador"},
        {"SELECT 'pg_read_file' AS texto, $$pg_stat$$ AS outro -- pg_class", ""},
        {"SELECT CDFILIAL, sum(VLFATURADO) FROM FVENDA GROUP BY CDFILIAL", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(ForbiddenPostgresName(c.sql), c.found) << c.sql;
    EXPECT_EQ(ForbiddenPostgresName("SELECT * FROM QELOPERADOR", true), "");
}

TEST(SqliteRowScope, AScopeThatCannotBeBuiltLeavesItsTablesUnreadableAndRefusalsSpeakPortuguese) {
    const std::string path = (std::filesystem::temp_directory_path() / ("qel_scope_" + std::to_string(::getpid()) + ".db")).string();
    {
        auto w = OpenSqlite(path);
        w->Execute("CREATE TABLE FVENDA (CDFILIAL TEXT, VL REAL); INSERT INTO FVENDA VALUES ('01', 1), ('02', 2);"
                   "CREATE TABLE DCLIENTE (CDCLIENTE TEXT); INSERT INTO DCLIENTE VALUES ('C01');");
    }
    auto db = OpenSqlite(path, true);
    db->SetRowScope({"MARIA", "k1", {{"FVENDA", "CDFILIAL IN ('01')"}}});
    EXPECT_EQ(db->Query("SELECT count(*) FROM FVENDA", {}, true).rows.at(0).at(0), "1");
    // A broken rule: the new views cannot be made, and the old ones are gone.
    EXPECT_THROW(db->SetRowScope({"JOAO", "k2", {{"FVENDA", "CDFILIAL IN ("}}}), ESqlError);
    for (const char* sql : {"SELECT count(*) FROM FVENDA", "SELECT count(*) FROM main.FVENDA"})
        EXPECT_THROW(db->Query(sql, {}, true), ESqlError) << sql;
    EXPECT_EQ(db->Query("SELECT count(*) FROM DCLIENTE", {}, true).rows.at(0).at(0), "1");
    try {
        db->Query("SELECT VL FROM main.FVENDA", {}, true);
        ADD_FAILURE() << "read";
    } catch (const ESqlError& e) {
        EXPECT_NE(std::string(e.what()).find("Acesso negado à coluna FVENDA.VL"), std::string::npos) << e.what();
    }
    db.reset();
    std::filesystem::remove(path);
}
