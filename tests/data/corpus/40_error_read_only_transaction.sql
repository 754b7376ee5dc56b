-- A read-only transaction refuses the update: the options of SET
-- TRANSACTION are carried out. The insert before it is rolled back when the
-- new transaction starts, as isql does.
CREATE TABLE PRICE (
  ID INTEGER NOT NULL PRIMARY KEY,
  AMOUNT INTEGER
);
INSERT INTO PRICE VALUES (1, 100);
COMMIT;
INSERT INTO PRICE VALUES (2, 5);
SET TRANSACTION READ ONLY;
SELECT * FROM PRICE;
UPDATE PRICE SET AMOUNT = 200;
