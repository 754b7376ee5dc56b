-- Версия 4: заметки. Комментарии в любых местах скрипта

/* блочный комментарий
   в несколько строк; с точкой с запятой,
   'апострофами' и "двойными кавычками" */
CREATE TABLE NOTES ( /* комментарий после скобки */
  ID INTEGER NOT NULL, -- код записи
  BODY VARCHAR(200) CHARACTER SET WIN1251 /* текст; заметки */,
  KIND SMALLINT DEFAULT 1 CHECK (KIND BETWEEN 1 AND 3), /* вид */
  CONSTRAINT PK_NOTES PRIMARY KEY (ID)
); -- комментарий после оператора
COMMIT;

/* один */ /* два */ INSERT INTO NOTES (ID, BODY) VALUES (1, 'первая /* не комментарий */');
INSERT INTO NOTES (ID, BODY) VALUES (2, '-- и это не комментарий');;
;
INSERT INTO NOTES
  /* комментарий внутри оператора */
  (ID, BODY, KIND)
  VALUES (3, 'третья', /* вид */ 2);
INSERT INTO NOTES (ID, BODY) VALUES (4, 'четвёртая') /* хвост */;
   -- комментарий с отступом
INSERT INTO NOTES (ID, BODY) VALUES (5, 'точка с запятой; внутри строки');

/*
 * Триггер с комментариями в теле
 */
SET TERM !! ;
CREATE TRIGGER NOTES_BU FOR NOTES ACTIVE BEFORE UPDATE POSITION 0 AS
  /* перед BEGIN */
BEGIN
  -- тело триггера
  IF (NEW.BODY IS NULL) THEN /* пустой текст недопустим */
    NEW.BODY = OLD.BODY;
END!!
SET TERM ; !!
COMMIT WORK;

UPDATE NOTES SET BODY = NULL WHERE ID = 1; -- триггер вернёт прежний текст
UPDATE NOTES SET KIND = 3 /* архив */ WHERE ID IN (2, 3);

COMMIT WORK;
/* последний комментарий в файле */
