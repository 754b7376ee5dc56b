-- Cyrillic names and values in a run of inserts; the failing one's message
-- names its key in Cyrillic.
CREATE TABLE "Товар" ("Код" VARCHAR(20) NOT NULL PRIMARY KEY, "Название" VARCHAR(60), "Цена" NUMERIC(10,2));
INSERT INTO "Товар" VALUES ('Ёлка-1', 'Ёлка искусственная', 1500);
INSERT INTO "Товар" VALUES ('Шар-2', 'Шар стеклянный', 120.50);
INSERT INTO "Товар" VALUES ('Гирлянда', 'Гирлянда «Звезда»', 890);
INSERT INTO "Товар" VALUES ('Шар-2', 'Шар пластиковый', 80);
INSERT INTO "Товар" VALUES ('Мишура', 'Мишура', 45);
