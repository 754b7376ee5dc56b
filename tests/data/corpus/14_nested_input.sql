-- Main update script: the parts live in their own files.
-- Relative names start from the folder of the file that names them.
CREATE TABLE VER (
  ID INTEGER NOT NULL PRIMARY KEY,
  VERSION INTEGER NOT NULL
);
INSERT INTO VER VALUES (1, 0);

INPUT 'parts/orders_schema.sql';

UPDATE VER SET VERSION = (SELECT COUNT(*) FROM ORDER_LINE) WHERE ID = 1;
COMMIT;
INPUT parts/final_steps.sql;
COMMIT;
