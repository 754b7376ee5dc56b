-- Dialect 1 again; a value that does not fit fails in the middle of a run.
CREATE TABLE B_D1E (ID INTEGER NOT NULL PRIMARY KEY, CODE VARCHAR(5));
INSERT INTO B_D1E VALUES (1, "ab");
INSERT INTO B_D1E VALUES (2, "abcdefgh");
INSERT INTO B_D1E VALUES (3, "cd");
