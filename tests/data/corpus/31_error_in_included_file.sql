-- The error sits in an included file; the rest of this script never runs.
CREATE TABLE SHIPMENT (
  ID INTEGER NOT NULL PRIMARY KEY,
  WEIGHT NUMERIC(8,2) CHECK (WEIGHT > 0)
);
INSERT INTO SHIPMENT VALUES (1, 12.5);
INPUT 'parts/shipments_broken.sql';
INSERT INTO SHIPMENT VALUES (100, 1);
