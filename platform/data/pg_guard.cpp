#include "pg_guard.hpp"

#include <array>
#include <cctype>
#include <string_view>

namespace {

constexpr std::array kExact = {
    // files and the server's directories
    "pg_read_file", "pg_read_binary_file", "pg_stat_file", "pg_file_write", "pg_file_rename", "pg_file_unlink",
    "pg_file_sync", "pg_logdir_ls", "pg_current_logfile", "pg_rotate_logfile",
    // other sessions and notifications
    "pg_terminate_backend", "pg_cancel_backend", "pg_signal_backend", "pg_stat_activity", "pg_stat_get_activity",
    "pg_notify", "pg_listening_channels", "pg_blocking_pids",
    // large objects
    "loread", "lowrite", "pg_largeobject", "pg_largeobject_metadata",
    // configuration and secrets
    "set_config", "current_setting", "pg_reload_conf", "pg_settings", "pg_file_settings", "pg_hba_file_rules",
    "pg_ident_file_mappings", "pg_show_all_settings", "pg_show_all_file_settings", "pg_config", "pg_authid", "pg_shadow",
    "pg_user_mapping", "pg_user_mappings", "pg_db_role_setting",
    // whole tables' row counts and sizes, which the row policies do not narrow
    "pg_class", "reltuples", "relpages", "pg_policy", "pg_policies", "pg_relation_size", "pg_total_relation_size", "pg_table_size", "pg_indexes_size",
    // SQL run from text
    "ts_stat", "ts_rewrite", "dblink", "dblink_exec", "dblink_open", "dblink_send_query", "pg_promote", "pg_switch_wal", "pg_logical_emit_message"};

constexpr std::array kPrefixes = {"pg_stat", "pg_ls_", "pg_advisory_", "pg_try_advisory_", "lo_", "query_to_", "cursor_to_",
                                  "table_to_xml", "schema_to_", "database_to_", "dblink_", "pg_replication_",
                                  "pg_create_", "pg_drop_", "pg_backup_", "pg_start_backup", "pg_stop_backup"};

bool forbidden(std::string_view name, bool secretsReadable) {
    if (!secretsReadable && name == "qeloperador") return true;
    for (std::string_view e : kExact)
        if (name == e) return true;
    for (std::string_view p : kPrefixes)
        if (name.substr(0, p.size()) == p) return true;
    return false;
}

bool identStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || (static_cast<unsigned char>(c) >= 0x80); }
bool identPart(char c) { return identStart(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '$'; }

}  // namespace

std::string ForbiddenPostgresName(const std::string& sql, bool secretsReadable) {
    const size_t n = sql.size();
    size_t i = 0;
    while (i < n) {
        char c = sql[i];
        if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
            while (i < n && sql[i] != '\n') ++i;
        } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
            // Block comments nest.
            int depth = 0;
            while (i < n) {
                if (sql.compare(i, 2, "/*") == 0) ++depth, i += 2;
                else if (sql.compare(i, 2, "*/") == 0) { i += 2; if (--depth == 0) break; }
                else ++i;
            }
        } else if (c == '\'' || ((c == 'E' || c == 'e') && i + 1 < n && sql[i + 1] == '\'' && (i == 0 || !identPart(sql[i - 1])))) {
            bool escapes = c != '\'';
            i += escapes ? 2 : 1;
            while (i < n) {
                if (escapes && sql[i] == '\\') { i += 2; continue; }
                if (sql[i] == '\'') {
                    if (i + 1 < n && sql[i + 1] == '\'') { i += 2; continue; }
                    ++i;
                    break;
                }
                ++i;
            }
        } else if (c == '$' && (i == 0 || !identPart(sql[i - 1]))) {
            // $tag$ … $tag$, or a positional parameter $1.
            size_t end = i + 1;
            while (end < n && (std::isalnum(static_cast<unsigned char>(sql[end])) || sql[end] == '_')) ++end;
            if (end < n && sql[end] == '$' && !std::isdigit(static_cast<unsigned char>(sql[i + 1]))) {
                std::string tag = sql.substr(i, end + 1 - i);
                size_t close = sql.find(tag, end + 1);
                i = close == std::string::npos ? n : close + tag.size();
            } else {
                i = end;
            }
        } else if ((c == 'U' || c == 'u') && i + 2 < n && sql[i + 1] == '&' && sql[i + 2] == '"') {
            return "U&\"…\"";
        } else if (c == '"') {
            std::string name;
            ++i;
            while (i < n) {
                if (sql[i] == '"') {
                    if (i + 1 < n && sql[i + 1] == '"') { name += '"'; i += 2; continue; }
                    ++i;
                    break;
                }
                name += sql[i++];
            }
            if (forbidden(name, secretsReadable)) return name;
        } else if (identStart(c)) {
            std::string name;
            while (i < n && identPart(sql[i])) name += static_cast<char>(std::tolower(static_cast<unsigned char>(sql[i++])));
            if (forbidden(name, secretsReadable)) return name;
        } else {
            ++i;
        }
    }
    return "";
}
