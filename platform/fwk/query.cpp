#include "services/query.hpp"
#include "services/session.hpp"

#include "data/field_name.hpp"
#include "host_bridge.hpp"

TdtmDBGeral* dtmDBGeral = nullptr;

bool TADOIBQuery::HasConnection() const {
    return (ado_ && ado_->Connection) || (ib_ && ib_->Connection);
}

void TADOIBQuery::Open() {
    Close();
    SqlParams params;
    for (auto& [name, p] : params_) params[name] = p.AsString;
    std::string sql = SQL.Text();
    if (FwkObserver* o = CurrentFwkObserver()) o->QueryOpened(sql, params);
    SqlConnection* conn = ado_ ? ado_->Connection : nullptr;
    if (!conn && ib_) conn = ib_->Connection;
    if (!conn) throw ESqlError("Banco de dados do cliente não está disponível");
    result_ = conn->Query(sql, params);
    row_ = 0;
    active_ = true;
}

void TADOIBQuery::Close() {
    result_ = SqlResult{};
    row_ = 0;
    active_ = false;
}

TQueryField TADOIBQuery::FieldByName(const std::string& name) const {
    for (size_t i = 0; i < result_.columns.size(); ++i) {
        if (SameFieldName(result_.columns[i].name, name))
            return TQueryField(row_ < result_.rows.size() ? &result_.rows[row_][i] : nullptr);
    }
    throw ESqlError(Name + ": campo '" + name + "' não encontrado");
}

DataPacket TADOIBQuery::ProviderPacket() const {
    if (!active_) throw ESqlError(Name + ": a consulta não está aberta");
    return result_.ToPacket();
}

DataPacket TADOIBQuery::TakePacket() {
    if (!active_) throw ESqlError(Name + ": a consulta não está aberta");
    DataPacket p = std::move(result_).ToPacket();
    Close();
    return p;
}

TdtmDBGeral::TdtmDBGeral(TComponent* owner) : TComponent(owner) {
    Name = "dtmDBGeral";
    ADOConnection = Owned<TADOConnection>();
    IBDatabase = Owned<TIBDatabase>();
    IBTransaction = Owned<TIBTransaction>();
}

TdtmDBGeral::~TdtmDBGeral() {
    ADOConnection->Connection = nullptr;
    IBDatabase->Connection = nullptr;
}

void TdtmDBGeral::OpenDatabase(const std::string& path) {
    ADOConnection->Connection = nullptr;
    IBDatabase->Connection = nullptr;
    connection_.reset();
    if (path.empty()) return;
    connection_ = OpenSqlConnection(path, true);
    // A statement of the client's own database waits no longer than a server call would.
    connection_->SetStatementTimeout(GetCallLimits().deadline);
    // On a database with row-level policies, the operator's rules hold for the client's own reads too.
    connection_->SetRowScope({Operador(), "", {}});
    ADOConnection->Connection = connection_.get();
    IBDatabase->Connection = connection_.get();
}
