-- The operators who may log in to the application server, with their passwords as Argon2id hashes
-- (written by `qelserver --db … --set-password OPERADOR`, never by hand).
CREATE TABLE IF NOT EXISTS QELOPERADOR (CDOPERADOR VARCHAR(20) PRIMARY KEY, DSSENHA VARCHAR(200));
