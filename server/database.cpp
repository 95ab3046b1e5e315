#include "database.hpp"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>

namespace {

class SqliteDatabase : public ServerDatabase {
public:
    explicit SqliteDatabase(const ServerOptions& o) : path_(o.db), timeout_(o.statementTimeout), keep_(o.workers) {
        char resolved[PATH_MAX];
        if (realpath(path_.c_str(), resolved)) absolute_ = resolved;
        OpenSqlite(path_, true)->Query("SELECT count(*) FROM sqlite_master", {}, true);  // a database, and readable
    }

    Lease Acquire(const std::atomic<bool>& cancel) override {
        std::string id = identity();
        std::unique_ptr<SqlConnection> c;
        {
            std::lock_guard lock(mutex_);
            if (id != poolIdentity_) {
                idle_.clear();  // the file was replaced: its old connections would read the old one
                poolIdentity_ = id;
            }
            if (!idle_.empty()) {
                c = std::move(idle_.back());
                idle_.pop_back();
            }
        }
        if (!c) c = OpenSqlite(path_, true);
        c->SetStatementTimeout(timeout_);
        c->SetCancelFlag(&cancel);
        return Lease(*this, std::move(c), id);
    }

    std::string ChangeKey() override {
        std::lock_guard lock(versionMutex_);
        std::string id = identity();
        if (id != versionIdentity_ || !version_) {
            version_ = OpenSqlite(path_, true);
            versionIdentity_ = id;
        }
        return id + ":" + version_->Query("PRAGMA data_version").rows.at(0).at(0);
    }

    std::string SafeMessage(const std::string& message) const override {
        std::string m = message;
        for (const std::string& p : {absolute_, path_}) {
            if (p.empty()) continue;
            for (size_t at; (at = m.find(p)) != std::string::npos;) m.replace(at, p.size(), "(banco de dados)");
        }
        return m;
    }

protected:
    void giveBack(std::unique_ptr<SqlConnection> c, const std::string& identity) override {
        c->SetCancelFlag(nullptr);
        std::lock_guard lock(mutex_);
        if (identity == poolIdentity_ && idle_.size() < keep_) idle_.push_back(std::move(c));
    }

private:
    // Device and inode: a replaced or recreated file is another database.
    std::string identity() const {
        struct stat st {};
        if (::stat(path_.c_str(), &st) != 0) throw ESqlError("O banco de dados do servidor não está disponível");
        return std::to_string(st.st_dev) + "." + std::to_string(st.st_ino);
    }

    std::string path_, absolute_;
    std::chrono::milliseconds timeout_;
    size_t keep_;
    std::mutex mutex_;
    std::string poolIdentity_;
    std::vector<std::unique_ptr<SqlConnection>> idle_;
    std::mutex versionMutex_;
    std::string versionIdentity_;
    std::unique_ptr<SqlConnection> version_;
};

}  // namespace

std::unique_ptr<ServerDatabase> OpenServerDatabase(const ServerOptions& options) {
    return std::make_unique<SqliteDatabase>(options);
}
