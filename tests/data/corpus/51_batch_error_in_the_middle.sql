-- A run of plain inserts whose third statement breaks the primary key: the
-- statements around it share one request, and the failure must read as that
-- statement's own. The trigger and the direct GEN_ID move the generator
-- exactly as far as isql moves it before the failure.
CREATE TABLE BATCH_ITEM (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(40));
CREATE TABLE BATCH_LOG (ID INTEGER, NOTE VARCHAR(60));
CREATE GENERATOR BATCH_GEN;
SET TERM ^ ;
CREATE TRIGGER BATCH_ITEM_AI FOR BATCH_ITEM AFTER INSERT AS
BEGIN
  INSERT INTO BATCH_LOG VALUES (GEN_ID(BATCH_GEN, 1), 'added ' || NEW.NAME);
END^
SET TERM ; ^
INSERT INTO BATCH_ITEM VALUES (1, 'one');
INSERT INTO BATCH_LOG VALUES (GEN_ID(BATCH_GEN, 10), 'direct');
INSERT INTO BATCH_ITEM VALUES (2, 'two');
INSERT INTO BATCH_ITEM
  VALUES (1, 'one again');
INSERT INTO BATCH_ITEM VALUES (3, 'three');
UPDATE BATCH_ITEM SET NAME = 'changed';
