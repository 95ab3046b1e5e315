#include "wire.hpp"

#include <algorithm>
#include <charconv>
#include <memory>

using Token = JsonReader::Token;

namespace {

constexpr long long kMaxFieldSize = 1000000;

void expect(JsonReader& in, Token got, Token wanted, const char* what) {
    if (got != wanted) in.Fail(std::string("esperado ") + what);
}

FieldDef readField(JsonReader& in, Token first) {
    expect(in, first, Token::BeginObject, "a descrição de um campo");
    FieldDef f;
    bool named = false;
    for (Token t = in.Next(); t != Token::EndObject; t = in.Next()) {
        std::string key(in.Text());
        Token v = in.Next();
        if (key == "name" && v == Token::String) {
            f.name = std::string(in.Text());
            named = true;
        } else if (key == "type" && v == Token::String) {
            f.type = std::string(in.Text());
        } else if (key == "fixed" && (v == Token::True || v == Token::False)) {
            f.fixed = v == Token::True;
        } else if (key == "size") {
            // Whole numbers only, within range: a size is never a fraction, negative or huge.
            long long size = -1;
            std::string_view text = in.Text();
            auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), size);
            if (v != Token::Number || ec != std::errc() || end != text.data() + text.size() || size < 0 || size > kMaxFieldSize)
                throw EJsonError("Pacote de dados inválido: tamanho de campo fora do intervalo 0 a 1000000: " +
                                 std::string(text.substr(0, 40)));
            f.size = static_cast<int>(size);
        } else {
            in.SkipValue(v);
        }
    }
    if (!named) throw EJsonError("Pacote de dados inválido: campo sem nome");
    return f;
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

DataPacket ReadPacket(JsonReader& in, Token first) {
    expect(in, first, Token::BeginObject, "um pacote de dados");
    DataPacket p;
    bool fields = false, rows = false;
    for (Token t = in.Next(); t != Token::EndObject; t = in.Next()) {
        std::string key(in.Text());
        Token v = in.Next();
        if (key == "fields") {
            expect(in, v, Token::BeginArray, "a lista de campos");
            for (Token f = in.Next(); f != Token::EndArray; f = in.Next()) p.fields.push_back(readField(in, f));
            fields = true;
        } else if (key == "count" && v == Token::Number && !rows) {
            // A hint of how many rows follow: room for them at once instead of growing by halves.
            unsigned long long n = 0;
            std::string_view text = in.Text();
            std::from_chars(text.data(), text.data() + text.size(), n);
            p.rows.reserve(static_cast<size_t>(std::min<unsigned long long>(n, 10000000)));
        } else if (key == "rows") {
            expect(in, v, Token::BeginArray, "a lista de linhas");
            for (Token r = in.Next(); r != Token::EndArray; r = in.Next()) {
                expect(in, r, Token::BeginArray, "uma linha");
                std::vector<std::string>& row = p.rows.emplace_back();
                if (fields) row.reserve(p.fields.size());
                in.ReadScalarArray(row);
            }
            rows = true;
        } else {
            in.SkipValue(v);
        }
    }
    if (!fields || !rows) throw EJsonError("Pacote de dados inválido: esperados 'fields' e 'rows'");
    for (auto& row : p.rows)
        if (row.size() != p.fields.size())
            throw EJsonError("Pacote de dados inválido: linha com número de colunas diferente dos campos");
    return p;
}

DataPacket PacketFromText(std::string_view text) {
    JsonReader in(text, kMaxWireDepth);
    DataPacket p = ReadPacket(in, in.Next());
    in.Next();  // End, or raises on what follows
    return p;
}

Variant ReadVariant(JsonReader& in, Token first) {
    switch (first) {
        case Token::Null: return {};
        case Token::True: return true;
        case Token::False: return false;
        case Token::String: return std::string(in.Text());
        case Token::Number: {
            long long i = 0;
            std::string_view text = in.Text();
            auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), i);
            if (ec == std::errc() && end == text.data() + text.size()) return i;
            return std::string(text);  // a fraction or a huge number: its text
        }
        case Token::BeginObject: return ReadPacket(in, first);
        default: in.Fail("esperado um valor");
    }
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
    JsonReader in(body, maxDepth);
    if (in.Next() != Token::BeginObject) throw EJsonError("Requisição malformada: esperado um objeto");
    std::vector<Variant> args;
    bool found = false;
    for (Token t = in.Next(); t != Token::EndObject; t = in.Next()) {
        std::string key(in.Text());
        Token v = in.Next();
        if (key != "args") {
            in.SkipValue(v);
            continue;
        }
        if (v != Token::BeginArray) throw EJsonError("Requisição malformada: 'args' deve ser uma lista");
        for (Token a = in.Next(); a != Token::EndArray; a = in.Next()) args.push_back(ReadVariant(in, a));
        found = true;
    }
    in.Next();
    if (!found) throw EJsonError("Requisição malformada: falta a lista 'args'");
    return args;
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

WireAnswer DecodeAnswer(std::string_view body) {
    JsonReader in(body, kMaxWireDepth);
    if (in.Next() != Token::BeginObject) throw EJsonError("Resposta inválida do servidor de aplicação");
    WireAnswer a;
    bool hasResult = false;
    for (Token t = in.Next(); t != Token::EndObject; t = in.Next()) {
        std::string key(in.Text());
        Token v = in.Next();
        if (key == "args" && v == Token::BeginArray) {
            for (Token x = in.Next(); x != Token::EndArray; x = in.Next()) a.args.push_back(ReadVariant(in, x));
        } else if (key == "result" && v == Token::BeginObject) {
            auto r = std::make_shared<ServerResult>();
            bool hasOk = false;
            for (Token k = in.Next(); k != Token::EndObject; k = in.Next()) {
                std::string name(in.Text());
                Token x = in.Next();
                if (name == "ok" && (x == Token::True || x == Token::False)) {
                    r->ok = x == Token::True;
                    hasOk = true;
                } else if (name == "error" && x == Token::String) {
                    r->error = std::string(in.Text());
                } else if (name == "data") {
                    r->data = ReadVariant(in, x);
                } else {
                    in.SkipValue(x);
                }
            }
            if (!hasOk) throw EJsonError("Resposta do servidor sem resultado válido");
            a.result = Variant(std::shared_ptr<const ServerResult>(r));
            hasResult = true;
        } else {
            in.SkipValue(v);
        }
    }
    in.Next();
    if (!hasResult) throw EJsonError("Resposta do servidor sem resultado válido");
    return a;
}
