-- A fact table large enough for summary tables: 2,400 sales over four products, two customers (and
-- no customer), three branches and six months. Product P04 has no value at all (every VL null), one
-- row in five has no VL and one in seven no QT; values are quarters, which sum exactly in any order.
INSERT INTO ITEMDW VALUES ('FGRANDE', 'VL', 'Venda Grande', '01', 'Valor', 'V', ''),
                          ('FGRANDE', 'QT', 'Qtde Grande', '01', 'Unidades', 'Q', '');
INSERT INTO DIMENSAODW VALUES ('1', 'FGRANDE', 'CDPRODUTO'), ('2', 'FGRANDE', 'CDCLIENTE'), ('3', 'FGRANDE', 'CDFILIAL'),
                              ('4', 'FGRANDE', 'CDPERIODO');
CREATE TABLE FGRANDE (CDPRODUTO VARCHAR(10), CDCLIENTE VARCHAR(10), CDFILIAL VARCHAR(10), CDPERIODO VARCHAR(10),
                      VL NUMERIC(12, 2), QT INTEGER);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2400)
INSERT INTO FGRANDE
SELECT CASE WHEN i % 50 = 0 THEN 'P04' ELSE 'P0' || (i % 3 + 1) END,
       CASE WHEN i % 97 = 0 THEN NULL ELSE 'C0' || (i % 2 + 1) END,
       '0' || (i / 7 % 3 + 1), '2026-0' || (i / 11 % 6 + 1),
       CASE WHEN i % 5 = 0 THEN NULL ELSE (i % 40) * 0.25 END,
       CASE WHEN i % 7 = 0 THEN NULL ELSE i % 9 END
FROM n;
