-- Triggers: several events in one, positions, inactive ones, ALTER TRIGGER.
CREATE TABLE DOC (
  ID INTEGER NOT NULL PRIMARY KEY,
  TITLE VARCHAR(80),
  VERSION INTEGER DEFAULT 0 NOT NULL,
  CHANGES INTEGER DEFAULT 0 NOT NULL
);
CREATE TABLE DOC_HISTORY (
  DOC_ID INTEGER,
  ACTION CHAR(1),
  OLD_TITLE VARCHAR(80)
);

set term ^ ;

create trigger DOC_BIU for DOC
active before insert or update position 10
as
begin
  if (updating) then
    new.VERSION = old.VERSION + 1;
end^

create trigger DOC_BIU_SECOND for DOC
active before insert or update position 20
as
begin
  new.CHANGES = new.CHANGES + 1;
end^

create trigger DOC_AD for DOC
active after delete
as
begin
  insert into DOC_HISTORY values (old.ID, 'D', old.TITLE);
end^

create trigger DOC_AU for DOC
inactive after update
as
begin
  insert into DOC_HISTORY values (old.ID, 'U', old.TITLE);
end^

set term ; ^

INSERT INTO DOC (ID, TITLE) VALUES (1, 'Plan');
INSERT INTO DOC (ID, TITLE) VALUES (2, 'Budget');
UPDATE DOC SET TITLE = 'Plan v2' WHERE ID = 1;
ALTER TRIGGER DOC_AU ACTIVE;
UPDATE DOC SET TITLE = 'Plan v3' WHERE ID = 1;
DELETE FROM DOC WHERE ID = 2;
ALTER TRIGGER DOC_BIU_SECOND INACTIVE;
ALTER TRIGGER DOC_BIU POSITION 5;
COMMIT;
