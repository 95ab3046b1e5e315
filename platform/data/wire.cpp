#include "wire.hpp"

#include <simdjson.h>

#include <algorithm>
#include <charconv>
#include <memory>
#include <optional>

namespace od = simdjson::ondemand;

namespace {

constexpr long long kMaxFieldSize = 1000000;
// Texts up to this size (a catalogue four times the bench's large one is 35 MB) are read by a parser
// each thread keeps, its index and string buffers reused from call to call instead of faulted in
// afresh at every refresh; a larger one gets a parser of its own, so that the buffers of a huge
// answer do not stay in memory after it.
constexpr size_t kKeptParserLimit = size_t{64} << 20;

// A failure of the reader in the system's words; `what` names what was expected.
[[noreturn]] void fail(simdjson::error_code e, const char* what) {
    switch (e) {
        case simdjson::UTF8_ERROR: throw EJsonError("JSON inválido: texto que não é UTF-8 válido");
        case simdjson::DEPTH_ERROR: throw EJsonError("JSON inválido: aninhamento profundo demais");
        case simdjson::EMPTY: throw EJsonError("JSON inválido: texto vazio");
        case simdjson::TRAILING_CONTENT: throw EJsonError("JSON inválido: texto após o fim do valor");
        default: throw EJsonError(std::string("JSON inválido: esperado ") + what + " (" + simdjson::error_message(e) + ")");
    }
}

template <class T>
T take(simdjson::simdjson_result<T>&& r, const char* what) {
    T value;
    if (auto e = std::move(r).get(value)) fail(e, what);
    return value;
}

od::json_type typeOf(od::value& v) { return take(v.type(), "um valor"); }

// A number's text as written (the token without the white space after it).
std::string_view numberText(od::value& v) {
    std::string_view raw = v.raw_json_token();
    while (!raw.empty() && (raw.back() == ' ' || raw.back() == '\t' || raw.back() == '\n' || raw.back() == '\r')) raw.remove_suffix(1);
    return raw;
}

bool isNull(od::value& v) {
    bool null = false;
    if (auto e = v.is_null().get(null); e || !null) fail(e ? e : simdjson::N_ATOM_ERROR, "null");
    return true;
}

// A plain value as packet cells hold it: null as empty text, numbers as written, true and false by name.
void appendCell(od::value v, PacketRows& rows) {
    switch (typeOf(v)) {
        case od::json_type::string: rows.AddCell() = take(v.get_string(), "um texto"); break;
        case od::json_type::number: rows.AddCell() = numberText(v); break;
        case od::json_type::boolean: rows.AddCell() = take(v.get_bool(), "true ou false") ? "true" : "false"; break;
        case od::json_type::null: isNull(v); rows.AddCell(); break;
        default: throw EJsonError("JSON inválido: uma célula deve ser um valor simples");
    }
}

// Each member of an object, its key unescaped, in the order written.
template <class Member>
void members(od::value v, const char* refusal, Member&& member) {
    od::object o;
    if (v.get_object().get(o)) throw EJsonError(refusal);
    for (auto field : o) {
        od::field f = take(std::move(field), "um membro");
        member(take(f.unescaped_key(), "um nome entre aspas"), f.value());
    }
}

template <class Element>
void elements(od::value v, const char* refusal, Element&& element) {
    od::array a;
    if (v.get_array().get(a)) throw EJsonError(refusal);
    for (auto x : a) element(take(std::move(x), "um valor"));
}

FieldDef readField(od::value v) {
    FieldDef f;
    bool named = false;
    members(v, "JSON inválido: esperado a descrição de um campo", [&](std::string_view key, od::value x) {
        if (key == "name" && typeOf(x) == od::json_type::string) {
            f.name = std::string(take(x.get_string(), "um texto"));
            named = true;
        } else if (key == "type" && typeOf(x) == od::json_type::string) {
            f.type = std::string(take(x.get_string(), "um texto"));
        } else if (key == "fixed" && typeOf(x) == od::json_type::boolean) {
            f.fixed = take(x.get_bool(), "true ou false");
        } else if (key == "size") {
            // Whole numbers only, within range: a size is never a fraction, negative or huge.
            std::string_view text = typeOf(x) == od::json_type::number ? numberText(x) : std::string_view("não numérico");
            long long size = -1;
            auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), size);
            if (ec != std::errc() || end != text.data() + text.size() || size < 0 || size > kMaxFieldSize)
                throw EJsonError("Pacote de dados inválido: tamanho de campo fora do intervalo 0 a 1000000: " +
                                 std::string(text.substr(0, 40)));
            f.size = static_cast<int>(size);
        }
    });
    if (!named) throw EJsonError("Pacote de dados inválido: campo sem nome");
    return f;
}

DataPacket readPacket(od::value v, size_t maxRows = kNoRowCap) {
    DataPacket p;
    bool fields = false, rows = false;
    members(v, "JSON inválido: esperado um pacote de dados", [&](std::string_view key, od::value x) {
        if (key == "fields") {
            elements(x, "JSON inválido: esperado a lista de campos", [&](od::value f) { p.fields.push_back(readField(f)); });
            fields = true;
        } else if (key == "count" && !rows && typeOf(x) == od::json_type::number) {
            // A hint of how many rows follow: room for them at once instead of growing by halves.
            unsigned long long n = 0;
            std::string_view text = numberText(x);
            std::from_chars(text.data(), text.data() + text.size(), n);
            // Bounded, whatever the hint says: past these the room grows as rows come.
            const size_t rows = static_cast<size_t>(std::min<unsigned long long>(std::min<unsigned long long>(n, maxRows), 10000000));
            p.rows.reserve(rows, std::min(p.fields.size(), size_t{16000000} / std::max<size_t>(rows, 1)));
        } else if (key == "rows") {
            elements(x, "JSON inválido: esperado a lista de linhas", [&](od::value r) {
                if (p.rows.size() >= maxRows) throw EPacketRows(maxRows);  // before the row is read
                elements(r, "JSON inválido: esperado uma linha", [&](od::value cell) { appendCell(cell, p.rows); });
                p.rows.EndRow();
            });
            rows = true;
        }
    });
    if (!fields || !rows) throw EJsonError("Pacote de dados inválido: esperados 'fields' e 'rows'");
    for (auto& row : p.rows)
        if (row.size() != p.fields.size())
            throw EJsonError("Pacote de dados inválido: linha com número de colunas diferente dos campos");
    return p;
}

Variant readVariant(od::value v, size_t maxRows = kNoRowCap) {
    switch (typeOf(v)) {
        case od::json_type::null: isNull(v); return {};
        case od::json_type::boolean: return take(v.get_bool(), "true ou false");
        case od::json_type::string: return std::string(take(v.get_string(), "um texto"));
        case od::json_type::number: {
            std::string_view text = numberText(v);
            long long i = 0;
            auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), i);
            if (ec == std::errc() && end == text.data() + text.size()) return i;
            return std::string(text);  // a fraction or a huge number: its text
        }
        case od::json_type::object: return readPacket(v, maxRows);
        default: throw EJsonError("JSON inválido: esperado um valor");
    }
}

void readList(od::value v, std::vector<Variant>& out, const char* refusal, const std::vector<size_t>* rowCaps = nullptr) {
    elements(v, refusal, [&](od::value x) {
        const size_t at = out.size();
        try {
            out.push_back(readVariant(x, rowCaps && at < rowCaps->size() ? (*rowCaps)[at] : kNoRowCap));
        } catch (EPacketRows& e) {
            e.argument = at;
            throw;
        }
    });
}

// How deep the text's lists and objects nest, counted until it passes `limit`.
bool nestsDeeperThan(std::string_view text, int limit) {
    int depth = 0;
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (inString) {
            if (c == '\\') ++i;
            else if (c == '"') inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) return true;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return false;
}

// The reader walks the text without recursion where it skips, so depth costs it nothing; a request
// is still refused past the depth limit, measured here before it is read (requests are small).
void requireDepth(std::string_view text, int maxDepth) {
    if (nestsDeeperThan(text, maxDepth))
        throw EJsonError("JSON inválido: aninhamento mais profundo que " + std::to_string(maxDepth) + " níveis");
}

// Reads a whole text (with the padding simdjson reads past its end) as one value handed to `read`,
// which must finish with it before this returns; anything after the value is refused.
template <class Read>
auto withRoot(simdjson::padded_string_view text, Read&& read) {
    thread_local od::parser kept;
    std::optional<od::parser> own;  // sized by the text it reads, up to simdjson's largest
    od::parser& parser = text.size() > kKeptParserLimit ? own.emplace() : kept;
    od::document doc;
    if (auto e = parser.iterate(text).get(doc)) fail(e, "um valor");
    od::value root;
    if (auto e = doc.get_value().get(root)) fail(e, "um valor");
    auto result = read(root);
    if (doc.current_location().error() != simdjson::OUT_OF_BOUNDS) fail(simdjson::TRAILING_CONTENT, "o fim do texto");
    return result;
}

// The same over a copy of the text, with room for the padding.
template <class Read>
auto withRoot(std::string_view text, Read&& read) {
    simdjson::padded_string padded(text);
    return withRoot(simdjson::padded_string_view(padded), std::forward<Read>(read));
}

WireAnswer decodeAnswer(simdjson::padded_string_view body, const std::vector<size_t>* rowCaps) {
    return withRoot(body, [rowCaps](od::value root) {
        if (typeOf(root) != od::json_type::object) throw EJsonError("Resposta inválida do servidor de aplicação");
        WireAnswer a;
        bool hasResult = false;
        members(root, "Resposta inválida do servidor de aplicação", [&](std::string_view key, od::value v) {
            if (key == "args" && typeOf(v) == od::json_type::array) {
                readList(v, a.args, "Resposta inválida do servidor de aplicação", rowCaps);
            } else if (key == "result" && typeOf(v) == od::json_type::object) {
                auto r = std::make_shared<ServerResult>();
                bool hasOk = false;
                members(v, "Resposta do servidor sem resultado válido", [&](std::string_view name, od::value x) {
                    if (name == "ok" && typeOf(x) == od::json_type::boolean) {
                        r->ok = take(x.get_bool(), "true ou false");
                        hasOk = true;
                    } else if (name == "error" && typeOf(x) == od::json_type::string) {
                        r->error = std::string(take(x.get_string(), "um texto"));
                    } else if (name == "data") {
                        r->data = readVariant(x);
                    }
                });
                if (!hasOk) throw EJsonError("Resposta do servidor sem resultado válido");
                a.result = Variant(std::shared_ptr<const ServerResult>(r));
                hasResult = true;
            }
        });
        if (!hasResult) throw EJsonError("Resposta do servidor sem resultado válido");
        return a;
    });
}

}  // namespace

void AppendPacketJson(std::string& out, const DataPacket& p) {
    out += "{\"fields\":[";
    for (size_t i = 0; i < p.fields.size(); ++i) {
        const FieldDef& f = p.fields[i];
        if (i) out += ',';
        out += "{\"name\":";
        AppendJsonString(out, f.name);
        out += ",\"type\":";
        AppendJsonString(out, f.type);
        out += ",\"size\":" + std::to_string(f.size) + ",\"fixed\":" + (f.fixed ? "true}" : "false}");
    }
    out += "],\"rows\":[";
    for (size_t r = 0; r < p.rows.size(); ++r) {
        out += r ? ",[" : "[";
        for (size_t c = 0; c < p.rows[r].size(); ++c) {
            if (c) out += ',';
            AppendJsonString(out, p.rows[r][c]);
        }
        out += ']';
    }
    out += "]}";
}

void AppendVariantJson(std::string& out, const Variant& v) {
    if (v.IsBool()) out += v.AsBool() ? "true" : "false";
    else if (v.IsInt()) out += std::to_string(v.AsInt());
    else if (v.IsString()) AppendJsonString(out, v.AsString());
    else if (v.IsPacket()) AppendPacketJson(out, v.AsPacket());
    else if (v.IsResult()) {
        const ServerResult& r = v.AsResult();
        if (!r.ok) {
            out += "{\"ok\":false,\"error\":";
            AppendJsonString(out, r.error);
            out += '}';
        } else {
            out += "{\"ok\":true,\"data\":";
            AppendVariantJson(out, r.data);
            out += '}';
        }
    } else {
        out += "null";
    }
}

DataPacket PacketFromText(std::string_view text) {
    requireDepth(text, kMaxWireDepth);
    return withRoot(text, [](od::value root) { return readPacket(root); });
}

std::string EncodeCall(const std::vector<Variant>& args) {
    std::string out = "{\"args\":[";
    for (size_t i = 0; i < args.size(); ++i) {
        if (i) out += ',';
        AppendVariantJson(out, args[i]);
    }
    return out + "]}";
}

std::vector<Variant> DecodeCall(std::string_view body, int maxDepth) {
    requireDepth(body, maxDepth);
    return withRoot(body, [](od::value root) {
        if (typeOf(root) != od::json_type::object) throw EJsonError("Requisição malformada: esperado um objeto");
        std::vector<Variant> args;
        bool found = false;
        members(root, "Requisição malformada: esperado um objeto", [&](std::string_view key, od::value v) {
            if (key != "args") return;
            readList(v, args, "Requisição malformada: 'args' deve ser uma lista");
            found = true;
        });
        if (!found) throw EJsonError("Requisição malformada: falta a lista 'args'");
        return args;
    });
}

std::string EncodeAnswer(const ServerResult& result, const std::vector<Variant>& args) {
    std::string out = "{\"result\":";
    AppendVariantJson(out, Variant(std::make_shared<const ServerResult>(result)));
    out += ",\"args\":[";
    for (size_t i = 0; i < args.size(); ++i) {
        if (i) out += ',';
        AppendVariantJson(out, args[i]);
    }
    return out + "]}";
}

std::string WhyNotAnAnswer(std::string_view text, const std::exception& refusal) {
    if (auto rows = dynamic_cast<const EPacketRows*>(&refusal))
        return "pacote " + std::to_string(rows->argument + 1) + " com mais de " + std::to_string(rows->cap) + " linhas";
    // Depth is measured only here, after a refusal: an answer read well never pays for it.
    if (nestsDeeperThan(text, kMaxWireDepth)) return "aninhamento profundo demais";
    std::string why = refusal.what();
    if (!dynamic_cast<const EJsonError*>(&refusal)) return "JSON malformado";
    constexpr std::string_view kJson = "JSON inválido: ";
    if (why.rfind(kJson, 0) != 0) return why;  // the packet's or the answer's own fault, said as it is
    why.erase(0, kJson.size());
    if (auto open = why.find(" ("); open != std::string::npos && why.back() == ')') why.erase(open);  // the reader's own words
    if (why.rfind("esperado", 0) == 0) why = "JSON malformado: " + why;
    return why;
}

WireAnswer DecodeAnswer(std::string_view body) {
    simdjson::padded_string padded(body);
    return decodeAnswer(padded, nullptr);
}

static_assert(kAnswerPadding >= simdjson::SIMDJSON_PADDING);

WireAnswer DecodeAnswer(std::string_view text, size_t capacity, const std::vector<size_t>* rowCaps) {
    if (capacity < text.size() + kAnswerPadding) {
        simdjson::padded_string padded(text);
        return decodeAnswer(padded, rowCaps);
    }
    return decodeAnswer(simdjson::padded_string_view(text.data(), text.size(), capacity), rowCaps);
}

WireAnswer DecodeAnswer(std::string& body) {
    // Padded in place: room after the text, never a copy of it (a large answer is megabytes).
    if (body.capacity() < body.size() + kAnswerPadding) body.reserve(body.size() + kAnswerPadding);
    return DecodeAnswer(std::string_view(body), body.capacity());
}
