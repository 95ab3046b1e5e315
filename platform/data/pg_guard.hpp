// What a read-only call may not name on PostgreSQL, whatever role the server logs in as: functions
// and relations that reach the server's files, other sessions, locks, large objects or settings, or
// that tell a table's whole row count or size (statistics, pg_class), which row policies do not
// narrow, or that run SQL given as text (which would hide any of those from this check). The statement is read
// as PostgreSQL reads it: literals, dollar quotes and comments are skipped, quoted identifiers count
// as written, unquoted ones in lower case; identifiers in Unicode escapes are refused outright, since
// their spelling cannot be checked.
#pragma once

#include <string>

// The first forbidden name the statement uses, or "" when it uses none. The operators' password
// table is forbidden too, unless `secretsReadable`.
std::string ForbiddenPostgresName(const std::string& sql, bool secretsReadable = false);
