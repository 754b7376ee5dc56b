/* Demo update script: brings an empty database to schema version 1.
   DDL is committed statement by statement; the data changes run in one
   transaction that is committed at the end. */

CREATE TABLE VER (
  ID      INTEGER NOT NULL PRIMARY KEY,
  VERSION INTEGER,
  SERIAL  VARCHAR(4000)
);

CREATE GENERATOR GEN_CUSTOMER_ID;

CREATE TABLE CUSTOMER (
  ID    INTEGER NOT NULL PRIMARY KEY,
  NAME  VARCHAR(80) NOT NULL,
  CITY  VARCHAR(40)
);

-- keep ids coming from the generator
SET TERM ^ ;
CREATE TRIGGER CUSTOMER_BI FOR CUSTOMER ACTIVE BEFORE INSERT POSITION 0 AS
BEGIN
  IF (NEW.ID IS NULL) THEN NEW.ID = GEN_ID(GEN_CUSTOMER_ID, 1);
END^
SET TERM ; ^

INSERT INTO CUSTOMER (NAME, CITY) VALUES ('Ivanov', 'Moscow');
INSERT INTO CUSTOMER (NAME, CITY) VALUES ('Petrova', 'Kazan');
INSERT INTO VER (ID, VERSION, SERIAL) VALUES (1, 1, 'demo');
