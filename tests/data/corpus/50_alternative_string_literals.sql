-- Firebird's alternative string literals: q'{...}' and its kin hold quotes,
-- terminators, comment marks and colons as plain text.
CREATE TABLE PHRASE (
  ID INTEGER NOT NULL PRIMARY KEY,
  TXT VARCHAR(80)
);
INSERT INTO PHRASE VALUES (1, q'{it's; done}');
INSERT INTO PHRASE VALUES (2, Q'[a :marker and -- no comment]');
INSERT INTO PHRASE VALUES (3, q'!/* still text */ 'quoted'!');
INSERT INTO PHRASE VALUES (4, q'(nested (brackets)) end)');
INSERT INTO PHRASE VALUES (5, q'<a>b>' || 'x''y');
INSERT INTO PHRASE VALUES (6, q'##');
SET TERM ^ ;
CREATE PROCEDURE ADD_PHRASE (N INTEGER) AS
BEGIN
  INSERT INTO PHRASE VALUES (:N, q'{end; ^ :N}');
END^
SET TERM ; ^
EXECUTE PROCEDURE ADD_PHRASE(7);
SET TERM !! ;
CREATE TRIGGER PHRASE_BI FOR PHRASE BEFORE INSERT AS
BEGIN
  IF (NEW.TXT IS NULL) THEN NEW.TXT = q'{none; !! yet}';
END!!
SET TERM ; !!
INSERT INTO PHRASE (ID) VALUES (8);
