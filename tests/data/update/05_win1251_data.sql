-- Версия 5: данные в кодировке WIN1251
CREATE TABLE "Справочник" (
  "Код" INTEGER NOT NULL PRIMARY KEY,
  "Наименование" VARCHAR(100) CHARACTER SET WIN1251 NOT NULL,
  "Описание" BLOB SUB_TYPE TEXT CHARACTER SET WIN1251
);
COMMIT;

INSERT INTO "Справочник" ("Код", "Наименование") VALUES (1, 'АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ');
INSERT INTO "Справочник" ("Код", "Наименование") VALUES (2, 'абвгдеёжзийклмнопрстуфхцчшщъыьэюя');
INSERT INTO "Справочник" ("Код", "Наименование", "Описание") VALUES (3, '№ «кавычки» — тире … многоточие', 'Цена: 100 €; скидка 5 %');
INSERT INTO "Справочник" ("Код", "Наименование") VALUES (4, 'Ґ ґ Є є І і Ї ї Ў ў');
INSERT INTO "Справочник" ("Код", "Наименование") VALUES (5, 'Смешанный текст: Latin и кириллица');
UPDATE "Справочник" SET "Наименование" = UPPER("Наименование") WHERE "Код" = 2;

CREATE VIEW "Вид_Справочника" ("Код", "Название") AS
  SELECT "Код", "Наименование" FROM "Справочник" WHERE "Код" < 5;

INSERT INTO NOTES (ID, BODY, KIND) SELECT 100 + "Код", "Наименование", 1 FROM "Справочник";
UPDATE OR INSERT INTO VER (ID, VERSION, SERIAL) VALUES (1, 5, 'схема 5 — кириллица') MATCHING (ID);
