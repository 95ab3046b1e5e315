-- The demo warehouse: one SQLite database that is both the application server's catalogue and the
-- client's database (warehouse tables and access rules). Built by scripts/demo.sh after
-- catalogue_schema.sql and access_rules_schema.sql.
BEGIN;

-- Catalogue (tables in catalogue_schema.sql) ---------------------------------------------------
INSERT INTO AREANEGDW VALUES ('Vendas', '01'), ('Estoque', '02'), ('Finanças', '03'), ('Recursos Humanos', '04');

INSERT INTO ITEMDW VALUES
  ('FVENDA', 'VLFATURADO', 'Faturamento', '01', 'Valor faturado no período', 'V', ''),
  ('FVENDA', 'QTVENDIDA', 'Quantidade Vendida', '01', 'Unidades vendidas', 'Q', ''),
  ('FDEVOL', 'VLDEVOLVIDO', 'Devoluções', '01', 'Valor devolvido pelos clientes', 'V', ''),
  ('FPEDID', 'VLPEDIDO', 'Pedidos em Aberto', '01', 'Pedidos ainda não faturados', 'V', ''),
  ('FESTOQ', 'QTSALDO', 'Saldo em Estoque', '02', 'Unidades em estoque no fim do período', 'Q', ''),
  ('FMOVIM', 'QTMOVIMENTO', 'Movimentação', '02', 'Entradas e saídas de estoque', 'Q', ''),
  ('FRECEB', 'VLRECEBER', 'Contas a Receber', '03', 'Títulos a receber', 'V', ''),
  ('FPAGAR', 'VLPAGAR', 'Contas a Pagar', '03', 'Títulos a pagar', 'V', ''),
  ('FCAIXA', 'VLSALDO', 'Fluxo de Caixa', '03', 'Saldo diário de caixa', 'V', ''),
  ('FFOLHA', 'VLFOLHA', 'Folha de Pagamento', '04', 'Salários e encargos', 'V', ''),
  ('FFOLHA', 'QTHORAS', 'Horas Extras', '04', 'Horas extras pagas', 'Q', ''),
  ('FADMIS', 'QTADMITIDOS', 'Admissões', '04', 'Funcionários admitidos', 'Q', '');

INSERT INTO DIMENSAODIME VALUES
  ('1', 'Produto', 'DPRODUTO', 'CDPRODUTO', 'NMPRODUTO', ''),
  ('2', 'Cliente', 'DCLIENTE', 'CDCLIENTE', 'NMCLIENTE', ''),
  ('3', 'Filial', 'DFILIAL', 'CDFILIAL', 'NMFILIAL', ''),
  ('4', 'Período', 'DPERIODO', 'CDPERIODO', 'DSPERIODO', ''),
  ('5', 'Vendedor', 'DVENDEDOR', 'CDVENDEDOR', 'NMVENDEDOR', ''),
  ('6', 'Fornecedor', 'DFORNEC', 'CDFORNEC', 'NMFORNEC', ''),
  ('7', 'Departamento', 'DDEPTO', 'CDDEPTO', 'NMDEPTO', ''),
  ('8', 'Cargo', '', '', '', ''),
  ('9', 'Situação do Título', '', '', '', ''),
  ('10', 'Filial d''Origem', 'DFILIAL', 'CDFILIAL', 'NMFILIAL', ''),
  ('11', 'Centro de Custo', 'DCCUSTO', 'CDCCUSTO', 'CDCCUSTO', '');

INSERT INTO DIMENSAODW VALUES
  ('1', 'FVENDA', 'CDPRODUTO'), ('2', 'FVENDA', 'CDCLIENTE'), ('3', 'FVENDA', 'CDFILIAL'), ('4', 'FVENDA', 'CDPERIODO'),
  ('5', 'FVENDA', 'CDVENDEDOR'), ('10', 'FVENDA', 'CDFILORIG'),
  ('1', 'FDEVOL', 'CDPRODUTO'), ('2', 'FDEVOL', 'CDCLIENTE'), ('3', 'FDEVOL', 'CDFILIAL'), ('4', 'FDEVOL', 'CDPERIODO'),
  ('1', 'FPEDID', 'CDPRODUTO'), ('2', 'FPEDID', 'CDCLIENTE'), ('4', 'FPEDID', 'CDPERIODO'), ('5', 'FPEDID', 'CDVENDEDOR'),
  ('1', 'FESTOQ', 'CDPRODUTO'), ('3', 'FESTOQ', 'CDFILIAL'), ('4', 'FESTOQ', 'CDPERIODO'), ('6', 'FESTOQ', 'CDFORNEC'),
  ('1', 'FMOVIM', 'CDPRODUTO'), ('3', 'FMOVIM', 'CDFILIAL'), ('4', 'FMOVIM', 'CDPERIODO'), ('6', 'FMOVIM', 'CDFORNEC'),
  ('10', 'FMOVIM', 'CDFILORIG'),
  ('2', 'FRECEB', 'CDCLIENTE'), ('3', 'FRECEB', 'CDFILIAL'), ('4', 'FRECEB', 'CDPERIODO'), ('9', 'FRECEB', 'IDSITUACAO'),
  ('11', 'FRECEB', 'CDCCUSTO'),
  ('6', 'FPAGAR', 'CDFORNEC'), ('3', 'FPAGAR', 'CDFILIAL'), ('4', 'FPAGAR', 'CDPERIODO'), ('9', 'FPAGAR', 'IDSITUACAO'),
  ('11', 'FPAGAR', 'CDCCUSTO'),
  ('3', 'FCAIXA', 'CDFILIAL'), ('4', 'FCAIXA', 'CDPERIODO'), ('11', 'FCAIXA', 'CDCCUSTO'),
  ('7', 'FFOLHA', 'CDDEPTO'), ('3', 'FFOLHA', 'CDFILIAL'), ('4', 'FFOLHA', 'CDPERIODO'), ('8', 'FFOLHA', 'CDCARGO'),
  ('11', 'FFOLHA', 'CDCCUSTO'),
  ('7', 'FADMIS', 'CDDEPTO'), ('4', 'FADMIS', 'CDPERIODO'), ('8', 'FADMIS', 'CDCARGO');

-- Dimension tables ------------------------------------------------------------------------------
CREATE TABLE DPRODUTO (CDPRODUTO VARCHAR(10), NMPRODUTO VARCHAR(40));
INSERT INTO DPRODUTO VALUES ('P01', 'Café Torrado 500g'), ('P02', 'Açúcar Cristal 1kg'), ('P03', 'Óleo de Soja 900ml'),
  ('P04', 'Feijão Carioca 1kg'), ('P05', 'Arroz Agulhinha 5kg');
CREATE TABLE DCLIENTE (CDCLIENTE VARCHAR(10), NMCLIENTE VARCHAR(40));
INSERT INTO DCLIENTE VALUES ('C01', 'Mercado São João'), ('C02', 'Padaria Pão d''Ouro'), ('C03', 'Atacadão Ébano'),
  ('C04', 'Empório Ávila');
CREATE TABLE DFILIAL (CDFILIAL VARCHAR(10), NMFILIAL VARCHAR(40));
INSERT INTO DFILIAL VALUES ('01', 'São Paulo'), ('02', 'Campinas'), ('03', 'Porto Alegre'), ('04', 'Curitiba'),
  ('05', 'Santa Bárbara d''Oeste');
CREATE TABLE DPERIODO (CDPERIODO VARCHAR(10), DSPERIODO VARCHAR(40));
INSERT INTO DPERIODO VALUES ('202601', 'Janeiro de 2026'), ('202602', 'Fevereiro de 2026'), ('202603', 'Março de 2026');
CREATE TABLE DVENDEDOR (CDVENDEDOR VARCHAR(10), NMVENDEDOR VARCHAR(40));
INSERT INTO DVENDEDOR VALUES ('V01', 'Ana Lúcia'), ('V02', 'Bruno Araújo'), ('V03', 'Cecília Gonçalves');
CREATE TABLE DFORNEC (CDFORNEC VARCHAR(10), NMFORNEC VARCHAR(40));
INSERT INTO DFORNEC VALUES ('F01', 'Cooperativa Agrícola'), ('F02', 'Indústria Três Irmãos'), ('F03', 'Distribuidora Oeste');
CREATE TABLE DDEPTO (CDDEPTO VARCHAR(10), NMDEPTO VARCHAR(40));
INSERT INTO DDEPTO VALUES ('D01', 'Administração'), ('D02', 'Comercial'), ('D03', 'Logística');
CREATE TABLE DCCUSTO (CDCCUSTO VARCHAR(10));
INSERT INTO DCCUSTO VALUES ('CC100'), ('CC200'), ('CC300');

-- Fact tables -----------------------------------------------------------------------------------
CREATE TABLE FVENDA (CDPRODUTO VARCHAR(20), CDCLIENTE VARCHAR(20), CDFILIAL VARCHAR(20), CDPERIODO VARCHAR(20), CDVENDEDOR VARCHAR(20), CDFILORIG VARCHAR(20), VLFATURADO NUMERIC, QTVENDIDA NUMERIC);
INSERT INTO FVENDA VALUES ('P01', 'C01', '01', '202601', 'V01', '02', 1520.50, 120), ('P02', 'C02', '02', '202601', 'V02', '02', 830.00, 300),
  ('P03', 'C03', '03', '202602', 'V03', '03', 410.90, 75), ('P01', 'C04', '05', '202603', 'V01', '01', 999.99, 88);
CREATE TABLE FDEVOL (CDPRODUTO VARCHAR(20), CDCLIENTE VARCHAR(20), CDFILIAL VARCHAR(20), CDPERIODO VARCHAR(20), VLDEVOLVIDO NUMERIC);
INSERT INTO FDEVOL VALUES ('P01', 'C01', '01', '202602', 45.00), ('P04', 'C03', '03', '202603', 12.30);
CREATE TABLE FPEDID (CDPRODUTO VARCHAR(20), CDCLIENTE VARCHAR(20), CDPERIODO VARCHAR(20), CDVENDEDOR VARCHAR(20), VLPEDIDO NUMERIC);
INSERT INTO FPEDID VALUES ('P05', 'C02', '202603', 'V02', 2300.00);
CREATE TABLE FESTOQ (CDPRODUTO VARCHAR(20), CDFILIAL VARCHAR(20), CDPERIODO VARCHAR(20), CDFORNEC VARCHAR(20), QTSALDO NUMERIC);
INSERT INTO FESTOQ VALUES ('P01', '01', '202603', 'F01', 540), ('P02', '04', '202603', 'F02', 1200);
CREATE TABLE FMOVIM (CDPRODUTO VARCHAR(20), CDFILIAL VARCHAR(20), CDPERIODO VARCHAR(20), CDFORNEC VARCHAR(20), CDFILORIG VARCHAR(20), QTMOVIMENTO NUMERIC);
INSERT INTO FMOVIM VALUES ('P01', '01', '202601', 'F01', '02', 100), ('P03', '03', '202602', 'F03', '05', -20);
CREATE TABLE FRECEB (CDCLIENTE VARCHAR(20), CDFILIAL VARCHAR(20), CDPERIODO VARCHAR(20), IDSITUACAO VARCHAR(20), CDCCUSTO VARCHAR(20), VLRECEBER NUMERIC);
INSERT INTO FRECEB VALUES ('C01', '01', '202601', 'ABERTO', 'CC100', 800.00), ('C03', '03', '202602', 'PAGO', 'CC200', 410.90),
  ('C02', '02', '202603', 'VENCIDO', 'CC100', 150.00);
CREATE TABLE FPAGAR (CDFORNEC VARCHAR(20), CDFILIAL VARCHAR(20), CDPERIODO VARCHAR(20), IDSITUACAO VARCHAR(20), CDCCUSTO VARCHAR(20), VLPAGAR NUMERIC);
INSERT INTO FPAGAR VALUES ('F01', '01', '202601', 'ABERTO', 'CC300', 5000.00), ('F02', '04', '202602', 'PAGO', 'CC300', 1200.00);
CREATE TABLE FCAIXA (CDFILIAL VARCHAR(20), CDPERIODO VARCHAR(20), CDCCUSTO VARCHAR(20), VLSALDO NUMERIC);
INSERT INTO FCAIXA VALUES ('01', '202601', 'CC100', 15000.00), ('02', '202601', 'CC200', 8200.00);
CREATE TABLE FFOLHA (CDDEPTO VARCHAR(20), CDFILIAL VARCHAR(20), CDPERIODO VARCHAR(20), CDCARGO VARCHAR(20), CDCCUSTO VARCHAR(20), VLFOLHA NUMERIC, QTHORAS NUMERIC);
INSERT INTO FFOLHA VALUES ('D01', '01', '202601', 'ANALISTA', 'CC100', 32000.00, 40), ('D02', '02', '202601', 'VENDEDOR', 'CC200', 45000.00, 12),
  ('D03', '03', '202602', 'MOTORISTA', 'CC300', 21000.00, 80);
CREATE TABLE FADMIS (CDDEPTO VARCHAR(20), CDPERIODO VARCHAR(20), CDCARGO VARCHAR(20), QTADMITIDOS NUMERIC);
INSERT INTO FADMIS VALUES ('D02', '202602', 'VENDEDOR', 3), ('D03', '202603', 'MOTORISTA', 2);

-- Access rules: MARIA is ruled per operator, JOAO through his group, ADMIN sees everything --------
INSERT INTO DIMEODWOPER VALUES ('MARIA');
INSERT INTO FILDIMEOPER VALUES ('3', 'MARIA', '01'), ('3', 'MARIA', '02'), ('1', 'MARIA', 'P01');
INSERT INTO OPERGRUPOP VALUES ('JOAO', 'SUL'), ('JOAO', 'COMPRAS');
INSERT INTO FILDIMEGRUPOP VALUES ('3', 'SUL', '03'), ('3', 'SUL', '04'), ('6', 'COMPRAS', 'F01');

COMMIT;
