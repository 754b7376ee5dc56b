-- Dialect 1: double quotes make strings, and the runs of inserts and updates
-- are read in the dialect of the connection.
CREATE TABLE B_D1 (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(40), PRICE DOUBLE PRECISION, MADE DATE);
INSERT INTO B_D1 VALUES (1, "double-quoted text", 10 / 4, '2024-01-31');
INSERT INTO B_D1 VALUES (2, 'single-quoted text', 7 / 2, '2024-02-29 13:45:00');
INSERT INTO B_D1 VALUES (3, "it's ""quoted""", 1 / 3, '2024-03-01');
UPDATE B_D1 SET NAME = NAME || " (changed)" WHERE PRICE > 1;
DELETE FROM B_D1 WHERE ID = 3;
