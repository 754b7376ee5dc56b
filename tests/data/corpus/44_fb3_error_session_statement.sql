-- A Firebird 4 session statement: a Firebird 3 server refuses it, and the
-- update fails there (isql 3 calls it a command error).
CREATE TABLE EVENT (
  ID INTEGER NOT NULL PRIMARY KEY,
  HAPPENED_AT TIMESTAMP
);
INSERT INTO EVENT VALUES (1, TIMESTAMP '2024-01-01 10:00:00');
SET TIME ZONE 'Europe/Moscow';
INSERT INTO EVENT VALUES (2, CURRENT_TIMESTAMP);
