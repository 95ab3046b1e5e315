// TADOIBQuery: a query over the client's shared database connection (the data module dtmDBGeral).
// SQL is a list of lines; parameters ":P_NAME" are set as text and bound, never pasted. Open raises
// with the database's message on failure. An open query feeds a TDataSetProvider.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "data/aggregates.hpp"
#include "data/provider.hpp"
#include "data/sql_connection.hpp"
#include "toolkit/string_list.hpp"

class TADOConnection : public TComponent {
public:
    using TComponent::TComponent;
    SqlConnection* Connection = nullptr;  // owned by the data module
};
class TIBDatabase : public TComponent {
public:
    using TComponent::TComponent;
    SqlConnection* Connection = nullptr;
};
class TIBTransaction : public TComponent {
public:
    using TComponent::TComponent;
};

struct TParam {
    std::string AsString;
};

class TQueryField {
public:
    std::string AsString() const { return value_ ? *value_ : std::string(); }
    explicit TQueryField(const std::string* v) : value_(v) {}

private:
    const std::string* value_;
};

class TADOIBQuery : public TComponent, public IPacketSource {
public:
    using TComponent::TComponent;

    TStringList SQL;
    void SetADOConnection(TADOConnection* c) { ado_ = c; }
    void SetIBDataBase(TIBDatabase* d) { ib_ = d; }
    void SetIBTransaction(TIBTransaction* t) { tr_ = t; }
    TADOConnection* ADOConnection() const { return ado_; }

    TParam& ParamByName(const std::string& name) { return params_[name]; }
    void ClearParams() { params_.clear(); }
    const PacketRows& Rows() const { return result_.rows; }
    void Open();
    void Close();
    bool Active() const { return active_; }
    bool IsEmpty() const { return result_.rows.empty(); }
    bool Eof() const { return row_ >= result_.rows.size(); }
    void First() { row_ = 0; }
    void Next() { if (row_ < result_.rows.size()) ++row_; }
    TQueryField FieldByName(const std::string& name) const;
    DataPacket ProviderPacket() const override;
    // Has a database to run on (the client's may be absent: the host was started without one).
    bool HasConnection() const;
    // The open result as a packet, moved out; the query is closed afterwards.
    DataPacket TakePacket();

private:
    TADOConnection* ado_ = nullptr;    // not owned
    TIBDatabase* ib_ = nullptr;        // not owned
    TIBTransaction* tr_ = nullptr;     // not owned
    std::map<std::string, TParam> params_;
    SqlResult result_;
    size_t row_ = 0;
    bool active_ = false;
};

// The framework's data module holding the client database connection.
class TdtmDBGeral : public TComponent {
public:
    explicit TdtmDBGeral(TComponent* owner);
    ~TdtmDBGeral() override;
    TADOConnection* ADOConnection;
    TIBDatabase* IBDatabase;
    TIBTransaction* IBTransaction;
    // Opens the client database (a SQLite file or a PostgreSQL URI); an empty path leaves it closed.
    void OpenDatabase(const std::string& path);
    // Another connection to the same SQLite file, set up as the first (time limit, operator), for a
    // statement run beside the first one's; none when the client database is absent or not SQLite.
    std::unique_ptr<SqlConnection> OpenAnotherSqlite() const;

private:
    std::string path_;
    std::unique_ptr<SqlConnection> connection_;
};

extern TdtmDBGeral* dtmDBGeral;  // created by the host

class TNetConnection;

// Runs a statement on the client's own database through `query` (bound to dtmDBGeral's connection);
// when that database is absent or cannot answer, the application server runs it through `net`'s
// getInfo; with `params` (not null, maybe empty) they travel as a one-row packet of text fields after
// the statement, without it the statement goes alone. A statement that ran out of
// time locally is not handed on: the server would make the operator wait as long again. When the
// server fails too, its error (EServerError) ends with the local one, so neither reason is lost.
// `what` names the data in the error raised when the server answers without a packet.
DataPacket OpenLocalOrServer(TADOIBQuery& query, TNetConnection& net, const std::string& sql, const SqlParams* params,
                             const std::string& what);
// The same on the client's own database alone (it must have one); its failure is raised.
DataPacket OpenLocal(TADOIBQuery& query, const std::string& sql, const SqlParams* params);

// The summary tables that are not stale (data/aggregates.hpp), read as OpenLocalOrServer reads; none
// where the database keeps no summary tables (the lookup fails there, which is not the operator's
// concern). A cancel or a lost server still raises.
std::vector<AggregateTable> FreshAggregates(TADOIBQuery& query, TNetConnection& net);
