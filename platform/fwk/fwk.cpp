// Messages, errors, animation, translation, session values and the list dialog of the framework.
#include <malloc.h>

#include <utility>

#include "host_bridge.hpp"
#include "services/list_dialog.hpp"
#include "services/messages.hpp"
#include "services/session.hpp"
#include "toolkit/menu.hpp"

namespace {
FwkObserver* gObserver = nullptr;
ListDialogService* gDialogs = nullptr;
std::map<std::string, std::string> gTranslations;
bool gAnimation = false;
std::string gOperador = "ADMIN", gWebURL = "127.0.0.1";
int gWebPort = 8211;
}  // namespace

void KeepMemoryForReloads() {
    mallopt(M_MMAP_THRESHOLD, 512 << 20);  // answers and packets come from the heap, reused
    // Freed memory stays for the next load: a catalogue of 80,000 facts frees hundreds of megabytes
    // that the next refresh takes again (a view's cells are given back when it closes, explicitly).
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    // One heap for every thread: a call or a statement runs on a thread of its own while the caller
    // waits, and what it built is freed by the caller. With a heap per thread, that memory would stay
    // with the worker's heap, out of reach of the next load and of the trim when a view closes.
    mallopt(M_ARENA_MAX, 1);
}

FwkObserver* CurrentFwkObserver() { return gObserver; }
void SetFwkObserver(FwkObserver* observer) { gObserver = observer; }
void SetListDialogService(ListDialogService* service) { gDialogs = service; }
void SetTranslations(std::map<std::string, std::string> dictionary) { gTranslations = std::move(dictionary); }

std::string Operador() { return gOperador; }
std::string WebURL() { return gWebURL; }
int WebPort() { return gWebPort; }
void SetSession(const std::string& operador, const std::string& webUrl, int webPort) {
    gOperador = operador;
    gWebURL = webUrl;
    gWebPort = webPort;
}

std::string TMessages::Msg(const std::string& key) const {
    for (auto& entry : Mensagens.Items()) {
        auto bar = entry.find('|');
        if (bar != std::string::npos && entry.compare(0, bar, key) == 0 && bar == key.size()) return entry.substr(bar + 1);
    }
    return "";
}

int TMessages::ShowMsg(const std::string& key, TMsgDlgType type, const std::vector<TMsgDlgBtn>& buttons, int) {
    return Application->MessageDlg(Msg(key), type, buttons);
}

void MensErro(const std::string& text, bool abort) {
    Application->MessageDlg(text, TMsgDlgType::mtError, {TMsgDlgBtn::mbOK});
    if (abort) throw EAbort();
}

Variant CheckResultServ(const Variant& result, bool, int) {
    if (result.IsResult()) {
        const ServerResult& r = result.AsResult();
        if (!r.ok) throw EServerError(r.error.empty() ? "O servidor de aplicação informou uma falha" : r.error);
        return r.data;
    }
    return result;
}

void ActiveShowAvi(TForm*, int, const std::string& text) {
    gAnimation = true;
    if (gObserver) gObserver->Animation(true, text);
}

void DeactiveShowAvi() {
    if (!gAnimation) return;
    gAnimation = false;
    if (gObserver) gObserver->Animation(false, "");
}

bool ShowAviActive() { return gAnimation; }

namespace {
void translate(std::string& text) {
    auto it = gTranslations.find(text);
    if (it != gTranslations.end()) text = it->second;
}
void translateMenu(TMenuItem* item) {
    translate(item->Caption);
    for (int i = 0; i < item->Count(); ++i) translateMenu(item->Items(i));
}
}  // namespace

void Trad(TForm* form) {
    if (!form || gTranslations.empty()) return;
    translate(form->Caption);
    for (int i = 0; i < form->ComponentCount(); ++i) {
        TComponent* c = form->Components(i);
        if (auto ctl = dynamic_cast<TControl*>(c)) {
            translate(ctl->Caption);
            translate(ctl->Hint);
        } else if (auto menu = dynamic_cast<TMenu*>(c)) {
            translateMenu(menu->Items());
        }
    }
}

bool PesquisaListaMsg(TDataSource* source, const std::string& keyField, const std::string& caption, bool,
                      std::string& selection) {
    if (!source || !source->DataSet) throw std::runtime_error("Lista de pesquisa sem fonte de dados");
    TClientDataSet* ds = source->DataSet;
    ListDialogRequest req;
    req.caption = caption;
    req.keyField = keyField;
    req.given = selection;
    for (int i = 0; i < ds->FieldCount(); ++i) {
        req.columns.push_back(ds->Fields(i)->FieldName);
        req.labels.push_back(ds->Fields(i)->DisplayLabel);
    }
    for (ds->First(); !ds->Eof(); ds->Next()) {
        std::vector<std::string> row;
        for (int i = 0; i < ds->FieldCount(); ++i) row.push_back(ds->Fields(i)->AsString());
        req.rows.push_back(std::move(row));
    }
    if (!gDialogs) return false;
    ListDialogAnswer a = gDialogs->Show(req);
    if (a.confirmed) selection = a.selection;
    return a.confirmed;
}
