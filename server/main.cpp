// qelserver --db FILE [--listen HOST:PORT]: serves QEL00100.rdmOpcoesDW over HTTP/JSON.
// Port 0 picks a free port; the line "qelserver: listening on HOST:PORT" tells which. Requests are
// served concurrently; Ctrl+C or SIGTERM stops the server cleanly.
#include <httplib.h>
#include <pthread.h>
#include <signal.h>

#include <iostream>
#include <thread>

#include "data/sql_connection.hpp"
#include "rdm_opcoes_dw.hpp"

namespace {

int usage() {
    std::cerr << "uso: qelserver --db ARQUIVO [--listen HOST:PORTA]" << std::endl;
    return 2;
}

void answer(httplib::Response& res, int status, const nlohmann::json& body) {
    res.status = status;
    res.set_content(body.dump(), "application/json; charset=utf-8");
}

}  // namespace

int main(int argc, char** argv) {
    std::string db, listen = "127.0.0.1:8211";
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--db" && i + 1 < argc) db = argv[++i];
        else if (a == "--listen" && i + 1 < argc) listen = argv[++i];
        else return usage();
    }
    if (db.empty()) return usage();
    auto colon = listen.rfind(':');
    if (colon == std::string::npos) return usage();
    std::string host = listen.substr(0, colon);
    int port = 0;
    try {
        port = std::stoi(listen.substr(colon + 1));
    } catch (const std::exception&) {
        return usage();
    }
    try {
        OpenSqlite(db, true)->Query("SELECT count(*) FROM sqlite_master", {}, true);
    } catch (const std::exception& e) {
        std::cerr << "qelserver: " << e.what() << std::endl;
        return 1;
    }

    // Signals are taken by one thread that stops the server; every other thread blocks them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    RdmOpcoesDW object(db);
    const std::string base = std::string("/") + RdmOpcoesDW::ObjectName;
    httplib::Server svr;
    svr.Get(base, [](const httplib::Request&, httplib::Response& res) {
        answer(res, 200, {{"object", RdmOpcoesDW::ObjectName}});
    });
    svr.Post(R"(/([^/]+)/([^/]+))", [&](const httplib::Request& req, httplib::Response& res) {
        std::string obj = req.matches[1], method = req.matches[2];
        if (obj != RdmOpcoesDW::ObjectName) return answer(res, 404, FailedAnswer("Objeto desconhecido: " + obj, nullptr));
        nlohmann::json body;
        try {
            body = nlohmann::json::parse(req.body);
        } catch (const nlohmann::json::exception&) {
            return answer(res, 400, FailedAnswer("Requisição malformada: o corpo não é JSON", nullptr));
        }
        if (!body.is_object() || !body.contains("args") || !body["args"].is_array())
            return answer(res, 400, FailedAnswer("Requisição malformada: falta a lista 'args'", nullptr));
        int status = 200;
        nlohmann::json out = object.Call(method, body["args"], status);
        answer(res, status, out);
    });
    svr.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty()) answer(res, res.status, FailedAnswer("Recurso desconhecido", nullptr));
    });

    int bound = port == 0 ? svr.bind_to_any_port(host) : (svr.bind_to_port(host, port) ? port : -1);
    if (bound < 0) {
        std::cerr << "qelserver: não foi possível escutar em " << listen << std::endl;
        return 1;
    }
    std::thread stopper([&] {
        int sig = 0;
        sigwait(&stopSignals, &sig);
        svr.stop();
    });
    std::cout << "qelserver: listening on " << host << ":" << bound << std::endl;
    svr.listen_after_bind();
    // Stopped by a signal: the stopper has returned. Stopped otherwise: wake it so it can end.
    pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
    std::cout << "qelserver: stopped" << std::endl;
    return 0;
}
