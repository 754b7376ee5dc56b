-- Nothing supplies a value for a parameter marker in an update script: the
-- statement fails (isql's server refuses ":KEEP" as an unknown column)
-- rather than deleting every row.
CREATE TABLE KEEPER (
  ID INTEGER NOT NULL PRIMARY KEY
);
INSERT INTO KEEPER VALUES (1);
INSERT INTO KEEPER VALUES (2);
DELETE FROM KEEPER WHERE ID <> :KEEP;
COMMIT;
