#include "services/query.hpp"
#include "services/session.hpp"

#include <atomic>

#include "data/field_name.hpp"
#include "toolkit/application.hpp"
#include "host_bridge.hpp"
#include "core/waiting.hpp"

TdtmDBGeral* dtmDBGeral = nullptr;

namespace {

// Runs the statement on a thread of its own while the caller's thread tells the observer how long it
// has run and how many rows came, so a window can show progress and take "Cancelar", which stops the
// statement in the database (the connection's cancel flag) and raises the silent abort.
SqlResult queryWaiting(SqlConnection& conn, const std::string& sql, const SqlParams& params, FwkObserver& observer) {
    std::atomic<bool> cancel{false};
    std::atomic<size_t> rows{0};
    SqlResult result;
    std::exception_ptr error;
    conn.SetCancelFlag(&cancel);
    WaitOnThread(
        [&] {
            try {
                result = conn.Query(sql, params, false, &rows);
            } catch (...) {
                error = std::current_exception();
            }
        },
        [&](double seconds) { return observer.StatementWaiting(seconds, rows.load(std::memory_order_relaxed)); },
        [&] { cancel = true; });
    conn.SetCancelFlag(nullptr);
    observer.StatementDone();
    if (cancel) throw EAbort();
    if (error) std::rethrow_exception(error);
    return result;
}

}  // namespace

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
    FwkObserver* observer = CurrentFwkObserver();
    result_ = observer ? queryWaiting(*conn, sql, params, *observer) : conn->Query(sql, params);
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
    path_ = path;
    if (path.empty()) return;
    connection_ = OpenSqlConnection(path, true);
    // A statement of the client's own database waits no longer than a server call would.
    connection_->SetStatementTimeout(GetCallLimits().deadline);
    // On a database with row-level policies, the operator's rules hold for the client's own reads too.
    connection_->SetRowScope({Operador(), "", {}});
    ADOConnection->Connection = connection_.get();
    IBDatabase->Connection = connection_.get();
}

std::unique_ptr<SqlConnection> TdtmDBGeral::OpenAnotherSqlite() const {
    if (!connection_ || IsPostgresUri(path_) || IsClickHouseUri(path_)) return nullptr;
    std::unique_ptr<SqlConnection> another = OpenSqlConnection(path_, true);
    another->SetStatementTimeout(GetCallLimits().deadline);
    another->SetRowScope({Operador(), "", {}});
    return another;
}
