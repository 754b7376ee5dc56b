SET SQL DIALECT 3;
/* Dialect 3 quoted identifiers: mixed case, spaces, reserved words. */
CREATE TABLE "Order" (
  "Id" INTEGER NOT NULL PRIMARY KEY,
  "Customer Name" VARCHAR(60),
  "select" VARCHAR(10),
  "TIMESTAMP" TIMESTAMP,
  plain_column INTEGER
);
CREATE TABLE "order" ("id" INTEGER);
INSERT INTO "Order" ("Id", "Customer Name", "select", PLAIN_COLUMN) VALUES (1, 'O''Brien', 'yes', 10);
INSERT INTO "Order" VALUES (2, 'Doe; Jane', 'no', TIMESTAMP '2020-02-02 20:20:20', 20);
INSERT INTO "order" VALUES (3);
CREATE VIEW "Big Orders" AS SELECT "Id", "Customer Name" FROM "Order" WHERE plain_column > 15;
UPDATE "Order" SET "select" = UPPER("select") WHERE "Id" = 1;
COMMIT;
