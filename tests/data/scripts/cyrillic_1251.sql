/* Справочник городов
   (обновление 7) */
CREATE TABLE "Города" ("ИД" INTEGER NOT NULL,
  "Название" VARCHAR(60) CHARACTER SET WIN1251);

-- начальные данные
INSERT INTO "Города" VALUES (1, 'Москва');
INSERT INTO "Города" VALUES (2, 'Санкт-Петербург; Ленинград');
UPDATE "Города" SET "Название" = 'Казань' WHERE "ИД" = 3 /* проверка */;
COMMIT;
