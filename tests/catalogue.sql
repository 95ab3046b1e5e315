-- A small catalogue for the tests: three areas; Vendas has facts on two tables that share only
-- Produto and Cliente; Estoque has a fact whose table has no links; one fact's area code matches no
-- area; names with accents and apostrophes.
INSERT INTO AREANEGDW VALUES ('Vendas', '01'), ('Estoque', '02'), ('Finanças', '03');
INSERT INTO ITEMDW VALUES
  ('FVENDA', 'VL', 'Faturamento', '01', 'Valor faturado', 'V', ''),
  ('FVENDA', 'QT', 'Quantidade', '01', 'Unidades', 'Q', ''),
  ('FDEVOL', 'VL', 'Devoluções', '01', 'Valor devolvido', 'V', ''),
  ('FESTOQ', 'QT', 'Saldo', '02', 'Saldo final', 'Q', ''),
  ('FVAZIA', 'QT', 'Sem Ligações', '02', 'Tabela sem dimensões', 'Q', ''),
  ('FORFA', 'QT', 'Órfão', '99', 'Área inexistente', 'Q', ''),
  ('FCAIXA', 'VL', 'Caixa d''Água', '03', 'Saldo de caixa', 'V', '');
INSERT INTO DIMENSAODIME VALUES
  ('1', 'Produto', 'DPRODUTO', 'CDPRODUTO', 'NMPRODUTO', ''),
  ('2', 'Cliente', 'DCLIENTE', 'CDCLIENTE', 'NMCLIENTE', ''),
  ('3', 'Filial', 'DFILIAL', 'CDFILIAL', 'NMFILIAL', ''),
  ('4', 'Período', '', '', '', ''),
  ('5', 'Região d''Oeste', 'DREGIAO', 'CDREGIAO', 'NMREGIAO', ''),
  ('6', 'Fornecedor', 'DFORNEC', 'CDFORNEC', 'NMFORNEC', '');
INSERT INTO DIMENSAODW VALUES
  ('1', 'FVENDA', 'CDPRODUTO'), ('2', 'FVENDA', 'CDCLIENTE'), ('3', 'FVENDA', 'CDFILIAL'), ('4', 'FVENDA', 'CDPERIODO'),
  ('1', 'FDEVOL', 'CDPRODUTO'), ('2', 'FDEVOL', 'CDCLIENTE'),
  ('1', 'FESTOQ', 'CDPRODUTO'), ('3', 'FESTOQ', 'CDFILIAL'), ('6', 'FESTOQ', 'CDFORNEC'),
  ('3', 'FCAIXA', 'CDFILIAL'), ('4', 'FCAIXA', 'CDPERIODO'), ('5', 'FCAIXA', 'CDREGIAO');
