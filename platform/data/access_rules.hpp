// The access rules' SQL, shared by whoever applies them (the cube viewer's statements, the server's
// row scopes): which dimensions restrict an operator, and the keys a restricted dimension allows.
// A row of the operator in DIMEODWOPER makes the per-operator allow-lists (FILDIMEOPER) the only
// rules; otherwise the allow-lists of all the operator's groups (FILDIMEGRUPOP through OPERGRUPOP)
// count together; a dimension without an allow-list is unrestricted.
#pragma once

#include <string>

// Rows (kind, NRSEQUEDIME) of the dimensions that restrict the operator bound as :P_CDOPERADOR;
// kind "O" for a per-operator allow-list, "G" for the groups' one.
// Written with IN rather than EXISTS, which not every engine takes (ClickHouse does not).
inline const char* const kRestrictedDimensionsSql =
    "SELECT DISTINCT 'O', NRSEQUEDIME FROM FILDIMEOPER WHERE CDOPERADOR = :P_CDOPERADOR"
    " AND :P_CDOPERADOR IN (SELECT CDOPERADOR FROM DIMEODWOPER)"
    " UNION ALL "
    "SELECT DISTINCT 'G', NRSEQUEDIME FROM FILDIMEGRUPOP"
    " WHERE :P_CDOPERADOR NOT IN (SELECT CDOPERADOR FROM DIMEODWOPER WHERE CDOPERADOR IS NOT NULL)"
    " AND CDGRUPOPER IN (SELECT CDGRUPOPER FROM OPERGRUPOP WHERE CDOPERADOR = :P_CDOPERADOR)";

// A SELECT of the keys the dimension allows, for a kind read above; `sequence` and `operatorCode`
// are SQL expressions (a parameter such as ":R0", or a quoted literal).
inline std::string AllowedKeysSql(const std::string& kind, const std::string& sequence, const std::string& operatorCode) {
    if (kind == "O")
        return "SELECT CDFILDIMEOPER FROM FILDIMEOPER WHERE NRSEQUEDIME = " + sequence + " AND CDOPERADOR = " + operatorCode;
    return "SELECT CDFILDIMEGRUPOP FROM FILDIMEGRUPOP WHERE NRSEQUEDIME = " + sequence +
           " AND CDGRUPOPER IN (SELECT CDGRUPOPER FROM OPERGRUPOP WHERE CDOPERADOR = " + operatorCode + ")";
}
