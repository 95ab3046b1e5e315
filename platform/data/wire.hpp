// The wire form of server calls, written without a document tree and read with simdjson's on-demand
// parser (a pull reader over an index of the text's structure: no tree either).
//   call:    {"args":[…]}
//   answer:  {"result":{"ok":true,"data":…} | {"ok":false,"error":"…"},"args":[…]}
//   packet:  {"fields":[{"name","type","size","fixed"}…],"rows":[[…]…]} (its members in any order; an
//            optional "count" before "rows" tells how many rows follow, so that room is made at once)
// Values are null, true/false, numbers, texts and packets. In a packet a null cell reads as empty
// text and a number cell as the number's text as written. A field size must be a whole number from
// 0 to 1,000,000; anything else is refused with a clear message, as is a row whose length differs
// from the fields'.
#pragma once

#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "json_text.hpp"
#include "packet.hpp"
#include "variant.hpp"

constexpr int kMaxWireDepth = 64;  // our calls nest four levels at most
constexpr size_t kNoRowCap = static_cast<size_t>(-1);

// A packet of an answer with more rows than its cap.
class EPacketRows : public EJsonError {
public:
    explicit EPacketRows(size_t rowCap)
        : EJsonError("Pacote de dados com mais de " + std::to_string(rowCap) + " linhas"), cap(rowCap) {}
    size_t cap;
    size_t argument = 0;  // the answer's argument it came in, by position
};

void AppendPacketJson(std::string& out, const DataPacket& p);
void AppendVariantJson(std::string& out, const Variant& v);

// A packet's JSON text; raises EJsonError (malformed, too deep, not a packet, text after it).
DataPacket PacketFromText(std::string_view text);

std::string EncodeCall(const std::vector<Variant>& args);
// The arguments of a call; raises EJsonError (malformed, too deep, no "args" list).
std::vector<Variant> DecodeCall(std::string_view body, int maxDepth = kMaxWireDepth);

struct WireAnswer {
    Variant result;  // a ServerResult
    std::vector<Variant> args;
};
std::string EncodeAnswer(const ServerResult& result, const std::vector<Variant>& args);
WireAnswer DecodeAnswer(std::string_view body);
// The same without copying the text: its capacity may grow (for the reader's padding), its contents
// do not change. A text with kAnswerPadding bytes of spare capacity is read where it lies.
constexpr size_t kAnswerPadding = 64;
// The same over a text whose buffer holds `capacity` bytes (at least its size and kAnswerPadding).
// `rowCaps`, when given: the most rows the packet of each argument may have (by position); a packet
// with more raises EPacketRows as soon as its first row past the cap begins, before it is read.
WireAnswer DecodeAnswer(std::string_view text, size_t capacity, const std::vector<size_t>* rowCaps = nullptr);
WireAnswer DecodeAnswer(std::string& body);
// Why DecodeAnswer refused a text, in a few words for the operator: "texto que não é UTF-8 válido",
// "aninhamento profundo demais", a packet's own fault, or "JSON malformado…".
std::string WhyNotAnAnswer(std::string_view text, const std::exception& refusal);
