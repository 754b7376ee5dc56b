-- A read-only transaction refuses the update: the options of SET
-- TRANSACTION are carried out, also after COMMIT RETAIN, which keeps the
-- transaction (and its options) running.
CREATE TABLE PRICE (
  ID INTEGER NOT NULL PRIMARY KEY,
  AMOUNT INTEGER
);
INSERT INTO PRICE VALUES (1, 100);
COMMIT;
SET TRANSACTION READ ONLY;
SELECT * FROM PRICE;
COMMIT RETAIN;
UPDATE PRICE SET AMOUNT = 200;
