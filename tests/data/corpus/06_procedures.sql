-- Stock procedures: a selectable one and an executable one.
CREATE TABLE STOCK (
  ITEM VARCHAR(20) NOT NULL PRIMARY KEY,
  QTY INTEGER DEFAULT 0 NOT NULL
);
CREATE TABLE STOCK_MOVE (
  ID INTEGER NOT NULL PRIMARY KEY,
  ITEM VARCHAR(20) NOT NULL,
  DELTA INTEGER NOT NULL
);

set term ^ ;

create procedure STOCK_ADD (AITEM varchar(20), ADELTA integer, AMOVE_ID integer)
as
begin
  update or insert into STOCK (ITEM, QTY)
    values (:AITEM, coalesce((select QTY from STOCK where ITEM = :AITEM), 0) + :ADELTA)
    matching (ITEM);
  insert into STOCK_MOVE (ID, ITEM, DELTA) values (:AMOVE_ID, :AITEM, :ADELTA);
end ^

create procedure STOCK_REPORT (MIN_QTY integer = 0)
returns (ITEM varchar(20), QTY integer, MOVES integer)
as
begin
  for select S.ITEM, S.QTY from STOCK S where S.QTY >= :MIN_QTY order by S.ITEM
      into :ITEM, :QTY do
  begin
    select count(*) from STOCK_MOVE M where M.ITEM = :ITEM into :MOVES;
    suspend;
  end
end ^

set term ; ^

EXECUTE PROCEDURE STOCK_ADD ('nails', 500, 1);
EXECUTE PROCEDURE STOCK_ADD ('screws', 120, 2);
EXECUTE PROCEDURE STOCK_ADD ('nails', -80, 3);
SELECT * FROM STOCK_REPORT(100);
CREATE TABLE REPORT_COPY (ITEM VARCHAR(20), QTY INTEGER, MOVES INTEGER);
INSERT INTO REPORT_COPY SELECT * FROM STOCK_REPORT;
COMMIT;
