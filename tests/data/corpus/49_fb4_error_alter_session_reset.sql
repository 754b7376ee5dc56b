-- ALTER SESSION RESET would roll back the script's transaction, with no
-- more than a warning, and the run would go on without the work before it.
-- isql fails it (it holds a transaction of its own open beside); the
-- update fails there too, keeping only the DDL committed before it.
CREATE TABLE RESET_NOTE (ID INTEGER NOT NULL PRIMARY KEY);
INSERT INTO RESET_NOTE VALUES (1);
ALTER SESSION RESET;
INSERT INTO RESET_NOTE VALUES (2);
